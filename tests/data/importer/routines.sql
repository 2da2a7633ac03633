-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)
-- Options: --routines --triggers --events
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
USE `app`;
CREATE TABLE `accounts` (
  `id` int NOT NULL,
  `balance` decimal(10,2) NOT NULL DEFAULT '0.00',
  PRIMARY KEY (`id`)
) ENGINE=InnoDB;
INSERT INTO `accounts` VALUES (1,10.00),(2,20.50);
/*!50003 SET @saved_cs_client      = @@character_set_client */ ;
/*!50003 SET @saved_sql_mode       = @@sql_mode */ ;
/*!50003 SET sql_mode              = 'ONLY_FULL_GROUP_BY,STRICT_TRANS_TABLES' */ ;
DELIMITER ;;
/*!50003 CREATE*/ /*!50017 DEFINER=`root`@`localhost`*/ /*!50003 TRIGGER `accounts_bu` BEFORE UPDATE ON `accounts` FOR EACH ROW BEGIN
  IF NEW.balance < 0 THEN SET NEW.balance = 0; END IF;
END */;;
DELIMITER ;
/*!50003 SET sql_mode              = @saved_sql_mode */ ;

--
-- Temporary view structure for view `rich`
--
/*!50001 DROP VIEW IF EXISTS `rich`*/;
/*!50001 CREATE VIEW `rich` AS SELECT 
 1 AS `id`*/;

/*!50003 DROP PROCEDURE IF EXISTS `transfer` */;
DELIMITER ;;
CREATE DEFINER=`root`@`localhost` PROCEDURE `transfer`(IN src INT, IN dst INT, IN amount DECIMAL(10,2))
BEGIN
  UPDATE accounts SET balance = balance - amount WHERE id = src;
  UPDATE accounts SET balance = balance + amount WHERE id = dst;
END ;;
DELIMITER ;

DELIMITER $$
CREATE FUNCTION `double_it`(x INT) RETURNS int
    DETERMINISTIC
BEGIN
  RETURN x * 2;
END$$
DELIMITER ;

CREATE EVENT `cleanup` ON SCHEDULE EVERY 1 DAY DO DELETE FROM accounts WHERE balance = 0;
CREATE OR REPLACE ALGORITHM=MERGE VIEW `summary` AS select count(0) AS `n` from `accounts`;
CREATE INDEX `idx_balance` ON `accounts` (`balance`);

UPDATE `accounts` SET `balance` = 0 WHERE `id` = 99;
TRUNCATE TABLE `accounts_archive`;
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
