-- --------------------------------------------------------
-- Host:                         127.0.0.1
-- Server-Version:               10.11.6-MariaDB-0+deb12u1 - Debian 12
-- Server-Betriebssystem:        debian-linux-gnu
-- HeidiSQL Version:             12.8.0.6908
-- --------------------------------------------------------

/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;
/*!40101 SET NAMES utf8 */;
/*!50503 SET NAMES utf8mb4 */;
/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;
/*!40103 SET TIME_ZONE='+00:00' */;
/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
/*!40111 SET @OLD_SQL_NOTES=@@SQL_NOTES, SQL_NOTES=0 */;


-- Exportiere Datenbank-Struktur für verein
CREATE DATABASE IF NOT EXISTS `verein` /*!40100 DEFAULT CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci */;
USE `verein`;

-- Exportiere Struktur von Tabelle verein.mitglied
CREATE TABLE IF NOT EXISTS `mitglied` (
  `id` int(11) NOT NULL AUTO_INCREMENT,
  `name` varchar(60) NOT NULL,
  `pfad` varchar(200) DEFAULT NULL,
  PRIMARY KEY (`id`)
) ENGINE=InnoDB AUTO_INCREMENT=4 DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

-- Exportiere Daten aus Tabelle verein.mitglied: ~3 rows (ungefähr)
DELETE FROM `mitglied`;
INSERT INTO `mitglied` (`id`, `name`, `pfad`) VALUES
	(1, 'Jörg', 'C:\\Vereine\\'),
	(2, 'Ann\'e', NULL),
	(3, 'Kai', '');

-- Exportiere Struktur von Prozedur verein.beitrag
DELIMITER //
CREATE PROCEDURE `beitrag`(IN `jahr` INT)
BEGIN
	SELECT * FROM mitglied WHERE id > jahr;
END//
DELIMITER ;

-- Exportiere Struktur von Trigger verein.mitglied_bi
SET @OLDTMP_SQL_MODE=@@SQL_MODE, SQL_MODE='STRICT_TRANS_TABLES,ERROR_FOR_DIVISION_BY_ZERO,NO_AUTO_CREATE_USER,NO_ENGINE_SUBSTITUTION';
DELIMITER //
CREATE TRIGGER `mitglied_bi` BEFORE INSERT ON `mitglied` FOR EACH ROW BEGIN
	SET NEW.name = TRIM(NEW.name);
END//
DELIMITER ;
SET SQL_MODE=@OLDTMP_SQL_MODE;

/*!40103 SET TIME_ZONE=IFNULL(@OLD_TIME_ZONE, 'system') */;
/*!40101 SET SQL_MODE=IFNULL(@OLD_SQL_MODE, '') */;
/*!40014 SET FOREIGN_KEY_CHECKS=IFNULL(@OLD_FOREIGN_KEY_CHECKS, 1) */;
/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;
/*!40111 SET SQL_NOTES=IFNULL(@OLD_SQL_NOTES, 1) */;
INSERT INTO `mitglied` (`id`, `name`, `pfad`) VALUES (4, 'Nach dem Ende', 'C:\\');
