-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)
--
-- Host: localhost    Database: kaffeehaus
-- ------------------------------------------------------
-- Server version	8.0.36

/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;
/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;
/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;
/*!50503 SET NAMES utf8mb4 */;
/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;
/*!40103 SET TIME_ZONE='+00:00' */;
/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;
/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
/*!40111 SET @OLD_SQL_NOTES=@@SQL_NOTES, SQL_NOTES=0 */;

--
-- Current Database: `kaffeehaus`
--

CREATE DATABASE /*!32312 IF NOT EXISTS*/ `kaffeehaus` /*!40100 DEFAULT CHARACTER SET utf8mb4 COLLATE utf8mb4_0900_ai_ci */ /*!80016 DEFAULT ENCRYPTION='N' */;

USE `kaffeehaus`;

--
-- Table structure for table `kunden`
--

DROP TABLE IF EXISTS `kunden`;
/*!40101 SET @saved_cs_client     = @@character_set_client */;
/*!50503 SET character_set_client = utf8mb4 */;
CREATE TABLE `kunden` (
  `id` int unsigned NOT NULL AUTO_INCREMENT,
  `name` varchar(120) NOT NULL,
  `ort` varchar(80) DEFAULT NULL,
  `email` varchar(190) DEFAULT NULL,
  `stammkunde` tinyint(1) NOT NULL DEFAULT '0',
  `notiz` text,
  `angelegt` datetime NOT NULL DEFAULT CURRENT_TIMESTAMP,
  PRIMARY KEY (`id`),
  UNIQUE KEY `uk_email` (`email`),
  KEY `idx_ort` (`ort`)
) ENGINE=InnoDB AUTO_INCREMENT=41 DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_0900_ai_ci;
/*!40101 SET character_set_client = @saved_cs_client */;

--
-- Dumping data for table `kunden`
--

LOCK TABLES `kunden` WRITE;
/*!40000 ALTER TABLE `kunden` DISABLE KEYS */;
INSERT INTO `kunden` VALUES (1,'Lukas Groß','Görlitz','lukas.gross1@example.de',0,'mag Hafermilch','2024-02-02 01:07:00'),(2,'Sören Wägner','Tübingen','soeren.waegner2@example.de',0,'bestellt immer \"das Übliche\"','2024-03-03 02:14:00'),(3,'Mia Lößner','München','mia.loessner3@example.de',1,'','2024-04-04 03:21:00'),(4,'Maximilian Müller','Köln','maximilian.mueller4@example.de',0,NULL,'2024-05-05 04:28:00'),(5,'Uschi Schäfer','Nürnberg','uschi.schaefer5@example.de',0,'bestellt immer \"das Übliche\"','2024-06-06 05:35:00'),(6,'Uschi Müller',NULL,'uschi.mueller6@example.de',1,'bestellt immer \"das Übliche\"','2024-07-07 06:42:00'),(7,'Zoë Krämer',NULL,'zoe.kraemer7@example.de',0,'mag Hafermilch','2024-08-08 07:49:00'),(8,'Fritz Müller','Nürnberg','fritz.mueller8@example.de',0,'mag Hafermilch','2024-09-09 08:56:00'),(9,'Grete Köhler','Görlitz',NULL,1,'Allergie: Nüsse\nbitte beachten','2024-10-10 09:03:00'),(10,'Ölaf Lößner','Würzburg','oelaf.loessner10@example.de',0,'','2024-11-11 10:10:00'),(11,'Hans-Peter Schäfer',NULL,'hans-peter.schaefer11@example.de',0,NULL,'2024-12-12 11:17:00'),(12,'Maximilian Bäcker','Köln','maximilian.baecker12@example.de',1,'','2024-01-13 12:24:00'),(13,'Sören Lößner','München','soeren.loessner13@example.de',0,NULL,'2024-02-14 13:31:00'),(14,'Maximilian Öztürk','Tübingen','maximilian.oeztuerk14@example.de',0,NULL,'2024-03-15 14:38:00'),(15,'Lukas Öztürk',NULL,'lukas.oeztuerk15@example.de',1,'Geburtstag im Mai 🎂','2024-04-16 15:45:00'),(16,'Mia Köhler','Nürnberg','mia.koehler16@example.de',0,'Allergie: Nüsse\nbitte beachten','2024-05-17 16:52:00'),(17,'Zoë Schäfer',NULL,'zoe.schaefer17@example.de',0,'Tisch am Fenster 🪟','2024-06-18 17:59:00'),(18,'Ümit Brückner','Lübeck',NULL,1,'Geburtstag im Mai 🎂','2024-07-19 18:06:00'),(19,'Käthe Lößner','Köln','kaethe.loessner19@example.de',0,'bestellt immer \"das Übliche\"','2024-08-20 19:13:00'),(20,'Uschi Groß','Lübeck','uschi.gross20@example.de',0,'Allergie: Nüsse\nbitte beachten','2024-09-21 20:20:00'),(21,'Ümit Strauß','München','uemit.strauss21@example.de',1,'bestellt immer \"das Übliche\"','2024-10-22 21:27:00'),(22,'Lukas Bäcker','Lübeck','lukas.baecker22@example.de',0,NULL,'2024-11-23 22:34:00'),(23,'Ümit Lößner','Saarbrücken','uemit.loessner23@example.de',0,'bestellt immer \"das Übliche\"','2024-12-24 23:41:00'),(24,'Sören Köhler','Saarbrücken','soeren.koehler24@example.de',1,'bestellt immer \"das Übliche\"','2024-01-25 00:48:00'),(25,'Änne O\'Brien','Würzburg','aenne.obrien25@example.de',0,NULL,'2024-02-26 01:55:00');
INSERT INTO `kunden` VALUES (26,'Dörte Köhler','Görlitz','doerte.koehler26@example.de',0,'C:\\Users\\kaffee','2024-03-27 02:02:00'),(27,'Jürgen Öztürk','Lübeck',NULL,1,'Allergie: Nüsse\nbitte beachten','2024-04-01 03:09:00'),(28,'Ölaf Öztürk','München','oelaf.oeztuerk28@example.de',0,'zahlt bar','2024-05-02 04:16:00'),(29,'Käthe Groß','Nürnberg','kaethe.gross29@example.de',0,NULL,'2024-06-03 05:23:00'),(30,'Fritz Brückner','Saarbrücken','fritz.brueckner30@example.de',1,'bestellt immer \"das Übliche\"','2024-07-04 06:30:00'),(31,'Hans-Peter Öztürk','Görlitz','hans-peter.oeztuerk31@example.de',0,'','2024-08-05 07:37:00'),(32,'Björn Brückner','Düsseldorf','bjoern.brueckner32@example.de',0,NULL,'2024-09-06 08:44:00'),(33,'Björn O\'Brien','Görlitz','bjoern.obrien33@example.de',1,'C:\\Users\\kaffee','2024-10-07 09:51:00'),(34,'Fritz Weiß','Düsseldorf','fritz.weiss34@example.de',0,'bestellt immer \"das Übliche\"','2024-11-08 10:58:00'),(35,'Hans-Peter Groß','Nürnberg','hans-peter.gross35@example.de',0,'zahlt bar','2024-12-09 11:05:00'),(36,'Jürgen Öztürk',NULL,NULL,1,'Allergie: Nüsse\nbitte beachten','2024-01-10 12:12:00'),(37,'Björn Köhler','München','bjoern.koehler37@example.de',0,'Allergie: Nüsse\nbitte beachten','2024-02-11 13:19:00'),(38,'Uschi Fuchs','Lübeck','uschi.fuchs38@example.de',0,NULL,'2024-03-12 14:26:00'),(39,'Lukas Groß','Tübingen','lukas.gross39@example.de',1,NULL,'2024-04-13 15:33:00'),(40,'Änne Öztürk','Tübingen','aenne.oeztuerk40@example.de',0,NULL,'2024-05-14 16:40:00');
/*!40000 ALTER TABLE `kunden` ENABLE KEYS */;
UNLOCK TABLES;

--
-- Table structure for table `produkte`
--

DROP TABLE IF EXISTS `produkte`;
CREATE TABLE `produkte` (
  `sku` char(8) NOT NULL,
  `bezeichnung` varchar(200) NOT NULL,
  `kategorie` enum('Kaffee','Tee','Gebäck','Zubehör') NOT NULL,
  `preis` decimal(8,2) NOT NULL,
  `gewicht_g` smallint DEFAULT NULL,
  `bild` blob,
  `pruefsumme` binary(4) DEFAULT NULL,
  PRIMARY KEY (`sku`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

LOCK TABLES `produkte` WRITE;
INSERT INTO `produkte` VALUES ('KH-00001','Espresso Bohnen Röstung «Dunkel»','Kaffee',14.90,500,0x89504E470D0A1A0A0000000D49484452,NULL),('KH-00002','Wiener Melange Mischung','Kaffee',12.50,250,NULL,0x65E7E423),('KH-00003','Earl Grey – lose','Tee',6.95,100,NULL,0x66237A04),('KH-00004','Grüner Tee Sencha','Tee',8.40,100,NULL,0x64E50CAD),('KH-00005','Rooibos Vanille','Tee',5.90,100,0x89504E470D0A1A0A0000000D49484452,0x1A81682C),('KH-00006','Apfelstrudel','Gebäck',3.80,NULL,NULL,NULL),('KH-00007','Bienenstich','Gebäck',3.60,NULL,NULL,0x7B45145C),('KH-00008','Franzbrötchen','Gebäck',2.40,NULL,NULL,0xA260CD0B),('KH-00009','Mürbeteig-Kekse (12 Stück)','Gebäck',4.20,200,0x89504E470D0A1A0A0000000D49484452,0x66836886),('KH-00010','Handfilter Porzellan','Zubehör',24.00,480,NULL,0x0FEF7928),('KH-00011','Milchaufschäumer','Zubehör',39.99,350,NULL,NULL),('KH-00012','Kaffeemühle, manuell','Zubehör',59.00,720,NULL,0x30CBC97D),('KH-00013','Cold Brew Flasche 1 l','Zubehör',19.50,610,0x89504E470D0A1A0A0000000D49484452,0x113DB17D),('KH-00014','Chai Latte Pulver','Tee',7.25,250,NULL,0xFC132D0D),('KH-00015','Entkoffeiniert Decaf','Kaffee',13.20,500,NULL,0x3571810A),('KH-00016','Baumkuchen-Spitzen','Gebäck',5.50,150,NULL,NULL),('KH-00017','Filterpapier Gr. 4','Zubehör',2.99,NULL,0x89504E470D0A1A0A0000000D49484452,0x70CCEC31),('KH-00018','Darjeeling First Flush','Tee',11.80,100,NULL,0x298CB3A5),('KH-00019','Cappuccino-Tassen (2er)','Zubehör',17.00,NULL,NULL,0x1C2442F9),('KH-00020','Äthiopien Yirgacheffe','Kaffee',16.40,250,NULL,0x570DC195);
UNLOCK TABLES;

--
-- Table structure for table `bestellungen`
--

DROP TABLE IF EXISTS `bestellungen`;
CREATE TABLE `bestellungen` (
  `nr` bigint unsigned NOT NULL AUTO_INCREMENT,
  `kunde_id` int unsigned NOT NULL,
  `sku` char(8) NOT NULL,
  `menge` smallint NOT NULL DEFAULT '1',
  `zeitpunkt` datetime NOT NULL,
  `status` set('offen','bezahlt','geliefert','storniert') NOT NULL DEFAULT 'offen',
  `kommentar` varchar(255) DEFAULT NULL,
  PRIMARY KEY (`nr`),
  KEY `fk_kunde` (`kunde_id`),
  CONSTRAINT `fk_kunde` FOREIGN KEY (`kunde_id`) REFERENCES `kunden` (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

LOCK TABLES `bestellungen` WRITE;
INSERT INTO `bestellungen` VALUES (1001,39,'KH-00002',1,'2024-02-02 09:13:00','offen','Rückfrage wegen \'Sonderwunsch\''),(1002,10,'KH-00018',1,'2024-03-03 10:26:00','bezahlt,geliefert','Rückfrage wegen \'Sonderwunsch\''),(1003,2,'KH-00003',2,'2024-04-04 11:39:00','bezahlt,geliefert','Lieferung an: Hinterhof, 2. OG'),(1004,10,'KH-00009',3,'2024-05-05 12:52:00','bezahlt,geliefert','Geschenkverpackung 🎁'),(1005,31,'KH-00004',1,'2024-06-06 13:05:00','storniert','Lieferung an: Hinterhof, 2. OG'),(1006,31,'KH-00016',3,'2024-07-07 14:18:00','offen','bitte klingeln'),(1007,7,'KH-00011',6,'2024-08-08 15:31:00','bezahlt,geliefert','Lieferung an: Hinterhof, 2. OG'),(1008,11,'KH-00017',1,'2024-09-09 16:44:00','bezahlt','Rückfrage wegen \'Sonderwunsch\''),(1009,24,'KH-00005',6,'2024-10-10 17:57:00','bezahlt,geliefert',NULL),(1010,34,'KH-00010',6,'2024-11-11 18:10:00','offen',NULL),(1011,17,'KH-00017',3,'2024-12-12 08:23:00','bezahlt','Geschenkverpackung 🎁'),(1012,15,'KH-00018',5,'2024-01-13 09:36:00','bezahlt,geliefert','Geschenkverpackung 🎁'),(1013,15,'KH-00020',2,'2024-02-14 10:49:00','bezahlt',NULL),(1014,26,'KH-00008',2,'2024-03-15 11:02:00','bezahlt,geliefert','Lieferung an: Hinterhof, 2. OG'),(1015,23,'KH-00001',1,'2024-04-16 12:15:00','bezahlt,geliefert','Lieferung an: Hinterhof, 2. OG'),(1016,17,'KH-00007',6,'2024-05-17 13:28:00','bezahlt,geliefert','Geschenkverpackung 🎁'),(1017,29,'KH-00012',3,'2024-06-18 14:41:00','offen','bitte klingeln'),(1018,7,'KH-00008',4,'2024-07-19 15:54:00','bezahlt','Geschenkverpackung 🎁'),(1019,14,'KH-00016',5,'2024-08-20 16:07:00','bezahlt,geliefert',NULL),(1020,1,'KH-00016',6,'2024-09-21 17:20:00','bezahlt,geliefert',NULL),(1021,6,'KH-00004',4,'2024-10-22 18:33:00','bezahlt','Lieferung an: Hinterhof, 2. OG'),(1022,12,'KH-00014',6,'2024-11-23 08:46:00','bezahlt,geliefert',NULL),(1023,26,'KH-00015',4,'2024-12-24 09:59:00','offen',NULL),(1024,11,'KH-00006',2,'2024-01-25 10:12:00','offen','bitte klingeln'),(1025,38,'KH-00015',6,'2024-02-26 11:25:00','bezahlt','Rückfrage wegen \'Sonderwunsch\''),(1026,39,'KH-00016',6,'2024-03-27 12:38:00','bezahlt,geliefert','bitte klingeln'),(1027,36,'KH-00018',2,'2024-04-28 13:51:00','offen',NULL),(1028,7,'KH-00017',6,'2024-05-01 14:04:00','bezahlt','Lieferung an: Hinterhof, 2. OG'),(1029,13,'KH-00007',1,'2024-06-02 15:17:00','bezahlt,geliefert','bitte klingeln'),(1030,19,'KH-00017',2,'2024-07-03 16:30:00','bezahlt,geliefert','Geschenkverpackung 🎁');
INSERT INTO `bestellungen` VALUES (1031,17,'KH-00018',4,'2024-08-04 17:43:00','bezahlt',NULL),(1032,23,'KH-00015',6,'2024-09-05 18:56:00','bezahlt,geliefert',NULL),(1033,34,'KH-00014',5,'2024-10-06 08:09:00','bezahlt','Rückfrage wegen \'Sonderwunsch\''),(1034,10,'KH-00017',5,'2024-11-07 09:22:00','offen',NULL),(1035,29,'KH-00006',5,'2024-12-08 10:35:00','offen',NULL),(1036,10,'KH-00006',2,'2024-01-09 11:48:00','storniert','Rückfrage wegen \'Sonderwunsch\''),(1037,8,'KH-00018',1,'2024-02-10 12:01:00','bezahlt,geliefert',NULL),(1038,34,'KH-00017',5,'2024-03-11 13:14:00','storniert',NULL),(1039,7,'KH-00018',1,'2024-04-12 14:27:00','bezahlt','bitte klingeln'),(1040,18,'KH-00002',1,'2024-05-13 15:40:00','bezahlt,geliefert','Lieferung an: Hinterhof, 2. OG'),(1041,36,'KH-00001',1,'2024-06-14 16:53:00','storniert','Geschenkverpackung 🎁'),(1042,40,'KH-00017',5,'2024-07-15 17:06:00','bezahlt,geliefert','bitte klingeln'),(1043,18,'KH-00015',5,'2024-08-16 18:19:00','bezahlt,geliefert',NULL),(1044,31,'KH-00017',2,'2024-09-17 08:32:00','bezahlt,geliefert','Geschenkverpackung 🎁'),(1045,36,'KH-00007',4,'2024-10-18 09:45:00','bezahlt','Lieferung an: Hinterhof, 2. OG'),(1046,8,'KH-00013',4,'2024-11-19 10:58:00','bezahlt,geliefert',NULL),(1047,16,'KH-00014',1,'2024-12-20 11:11:00','bezahlt',NULL),(1048,20,'KH-00004',2,'2024-01-21 12:24:00','bezahlt,geliefert','bitte klingeln'),(1049,17,'KH-00005',4,'2024-02-22 13:37:00','bezahlt',NULL),(1050,7,'KH-00013',4,'2024-03-23 14:50:00','bezahlt',NULL),(1051,15,'KH-00006',6,'2024-04-24 15:03:00','storniert','Rückfrage wegen \'Sonderwunsch\''),(1052,26,'KH-00011',4,'2024-05-25 16:16:00','bezahlt','Geschenkverpackung 🎁'),(1053,21,'KH-00003',6,'2024-06-26 17:29:00','bezahlt,geliefert',NULL),(1054,22,'KH-00018',4,'2024-07-27 18:42:00','storniert',NULL),(1055,2,'KH-00013',3,'2024-08-28 08:55:00','bezahlt,geliefert','Rückfrage wegen \'Sonderwunsch\''),(1056,19,'KH-00017',1,'2024-09-01 09:08:00','offen',NULL),(1057,15,'KH-00004',1,'2024-10-02 10:21:00','bezahlt,geliefert','Geschenkverpackung 🎁'),(1058,3,'KH-00006',3,'2024-11-03 11:34:00','bezahlt',NULL),(1059,28,'KH-00009',4,'2024-12-04 12:47:00','bezahlt','Rückfrage wegen \'Sonderwunsch\''),(1060,33,'KH-00019',4,'2024-01-05 13:00:00','bezahlt,geliefert',NULL);
-- Nachträglich erfasste Bestellungen, ohne Kommentar-Spalte exportiert
INSERT INTO `bestellungen` (`nr`, `kunde_id`, `sku`, `menge`, `zeitpunkt`, `status`) VALUES (1061,7,'KH-00003',2,'2024-12-24 10:15:00','bezahlt'),(1062,12,'KH-00020',1,NOW(),'offen'),(1063,3,'KH-00006',4,'2024-12-31 16:45:00','offen');
REPLACE INTO `bestellungen` VALUES (1005,9,'KH-00011',1,'2024-06-06 09:30:00','storniert','ersetzt durch Nr. 1062');
UNLOCK TABLES;

--
-- Temporary view structure for view `umsatz_pro_kunde`
--

DROP TABLE IF EXISTS `umsatz_pro_kunde`;
/*!50001 DROP VIEW IF EXISTS `umsatz_pro_kunde`*/;
SET @saved_cs_client     = @@character_set_client;
/*!50503 SET character_set_client = utf8mb4 */;
/*!50001 CREATE VIEW `umsatz_pro_kunde` AS SELECT
 1 AS `kunde_id`,
 1 AS `umsatz`*/;
SET character_set_client = @saved_cs_client;

--
-- Dumping routines for database 'kaffeehaus'
--
/*!50003 DROP PROCEDURE IF EXISTS `tagesabschluss` */;
/*!50003 SET @saved_sql_mode       = @@sql_mode */ ;
/*!50003 SET sql_mode              = 'ONLY_FULL_GROUP_BY,STRICT_TRANS_TABLES,NO_ZERO_IN_DATE,NO_ZERO_DATE,ERROR_FOR_DIVISION_BY_ZERO,NO_ENGINE_SUBSTITUTION' */ ;
DELIMITER ;;
CREATE DEFINER=`root`@`localhost` PROCEDURE `tagesabschluss`(IN tag DATE)
BEGIN
  -- Summe des Tages; Semikolons im Rumpf beenden die Anweisung nicht
  SELECT SUM(p.preis * b.menge) AS umsatz
    FROM bestellungen b JOIN produkte p ON p.sku = b.sku
   WHERE DATE(b.zeitpunkt) = tag AND FIND_IN_SET('bezahlt', b.status);
  UPDATE bestellungen SET status = 'geliefert' WHERE DATE(zeitpunkt) = tag;
END ;;
DELIMITER ;
/*!50003 SET sql_mode              = @saved_sql_mode */ ;

--
-- Current Database: `lager`
--

CREATE DATABASE /*!32312 IF NOT EXISTS*/ `lager` /*!40100 DEFAULT CHARACTER SET utf8mb4 */;

USE `lager`;

DROP TABLE IF EXISTS `bestand`;
CREATE TABLE `bestand` (
  `sku` char(8) NOT NULL,
  `regal` varchar(10) NOT NULL,
  `menge` int NOT NULL,
  `mindestmenge` int NOT NULL DEFAULT '10',
  `letzte_inventur` date DEFAULT NULL,
  PRIMARY KEY (`sku`,`regal`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

LOCK TABLES `bestand` WRITE;
INSERT INTO `bestand` VALUES ('KH-00001','B-02',142,5,'2024-11-02'),('KH-00002','C-03',352,5,'2024-11-03'),('KH-00003','D-04',217,5,'2024-11-04'),('KH-00004','E-05',137,5,'2024-11-05'),('KH-00005','A-06',324,5,'2024-11-06'),('KH-00006','B-07',133,5,NULL),('KH-00007','C-01',311,5,'2024-11-08'),('KH-00008','D-02',34,10,'2024-11-09'),('KH-00009','E-03',62,10,'2024-11-10'),('KH-00010','A-04',5,10,'2024-11-11'),('KH-00011','B-05',283,10,'2024-11-12'),('KH-00012','C-06',137,20,NULL),('KH-00013','D-07',66,5,'2024-11-14'),('KH-00014','E-01',269,20,'2024-11-15'),('KH-00015','A-02',122,5,'2024-11-16'),('KH-00016','B-03',82,10,'2024-11-17'),('KH-00017','C-04',25,5,'2024-11-18'),('KH-00018','D-05',103,10,NULL),('KH-00019','E-06',321,10,'2024-11-20'),('KH-00020','A-07',271,5,'2024-11-21');
UNLOCK TABLES;

--
-- View structure for view `nachbestellen`
--

DROP VIEW IF EXISTS `nachbestellen`;
CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `nachbestellen` AS select `bestand`.`sku` AS `sku`,`bestand`.`regal` AS `regal`,(`bestand`.`mindestmenge` - `bestand`.`menge`) AS `fehlmenge` from `bestand` where (`bestand`.`menge` < `bestand`.`mindestmenge`);

DROP TABLE IF EXISTS `lieferanten`;
CREATE TABLE `lieferanten` (
  `id` smallint NOT NULL,
  `firma` varchar(100) NOT NULL,
  `land` char(2) NOT NULL,
  `telefon` varchar(30) DEFAULT NULL,
  PRIMARY KEY (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

LOCK TABLES `lieferanten` WRITE;
INSERT INTO `lieferanten` VALUES (1,'Rösterei Süßmilch GmbH','DE','+49 89 1234567'),(2,'Teehaus Ostfriesland e.K.','DE',NULL),(3,'Café Crème Sàrl','FR','+33 1 44 55 66 77'),(4,'Zürcher Porzellan AG','CH','+41 44 000 11 22'),(5,'Bäckerei Weißbrot & Söhne','AT','+43 1 987 65 43'),(6,'Nordic Brew ApS','DK',NULL);
UNLOCK TABLES;

--
-- Current Database: `archiv`
--

CREATE DATABASE /*!32312 IF NOT EXISTS*/ `archiv`;

USE `archiv`;

DROP TABLE IF EXISTS `protokoll`;
CREATE TABLE `protokoll` (
  `id` int NOT NULL AUTO_INCREMENT,
  `zeit` timestamp NOT NULL DEFAULT CURRENT_TIMESTAMP,
  `ereignis` varchar(64) NOT NULL,
  `nutzdaten` varbinary(64) DEFAULT NULL,
  `details` json DEFAULT NULL,
  PRIMARY KEY (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;

LOCK TABLES `protokoll` WRITE;
INSERT INTO `protokoll` VALUES (1,'2024-01-02 08:00:00','Kasse geöffnet',_binary 'K\0\0\1',NULL),(2,'2024-01-02 08:01:12','Bon gedruckt',X'DEADBEEF','{\"betrag\": 7.8, \"währung\": \"EUR\"}'),(3,'2024-01-02 12:30:00','Tagesbericht',b'1011',NULL),(4,CURRENT_TIMESTAMP,'Kasse geschlossen',NULL,'{\"bar\": true}');
UNLOCK TABLES;
/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;

/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;
/*!40014 SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;
/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;
/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;
/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;
/*!40111 SET SQL_NOTES=@OLD_SQL_NOTES */;

-- Dump completed on 2024-12-31 23:59:59
