-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)
-- Options: --replace, then --insert-ignore
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
CREATE TABLE `kv` (
  `k` varchar(10) NOT NULL,
  `v` int DEFAULT NULL,
  PRIMARY KEY (`k`)
) ENGINE=InnoDB;
REPLACE INTO `kv` VALUES ('a',1),('b',2);
REPLACE INTO `kv` VALUES ('a',3);
INSERT IGNORE INTO `kv` VALUES ('c',4);
INSERT  IGNORE  INTO `kv` VALUES ('d',5);
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
