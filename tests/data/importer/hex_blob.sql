-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)
-- Options: --hex-blob
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
DROP TABLE IF EXISTS `files`;
CREATE TABLE `files` (
  `id` int NOT NULL,
  `data` blob,
  `hash` binary(4) DEFAULT NULL,
  PRIMARY KEY (`id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4;
LOCK TABLES `files` WRITE;
INSERT INTO `files` VALUES (1,0x89504E470D0A1A0A,0xDEADBEEF),(2,'',NULL),(3,_binary 'raw\0bytes',0x00000000);
UNLOCK TABLES;
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
