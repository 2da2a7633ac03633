-- MySQL dump 10.13  Distrib 5.7.44, for Linux (x86_64)
--
-- Host: db    Database: inventory
-- ------------------------------------------------------
-- Server version	5.7.44
-- Options: --skip-extended-insert --complete-insert

/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;

DROP TABLE IF EXISTS `items`;
CREATE TABLE `items` (
  `sku` varchar(20) NOT NULL,
  `qty` int(11) DEFAULT '0',
  `price` decimal(8,2) DEFAULT NULL,
  PRIMARY KEY (`sku`)
) ENGINE=InnoDB DEFAULT CHARSET=latin1;

LOCK TABLES `items` WRITE;
INSERT INTO `items` (`sku`, `qty`, `price`) VALUES ('A-1',5,1.50);
INSERT INTO `items` (`sku`, `qty`, `price`) VALUES ('B-2',0,NULL);
INSERT INTO `items` (`qty`, `sku`) VALUES (7,'C-3');
INSERT INTO `items` (`sku`, `qty`, `price`) VALUES ('D-4',-1,2.25);
UNLOCK TABLES;
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;

-- Dump completed on 2024-04-01 09:00:00
