-- Adminer 4.8.1 MySQL 8.0.40 dump

SET NAMES utf8;
SET time_zone = '+00:00';
SET foreign_key_checks = 0;
SET sql_mode = 'NO_AUTO_VALUE_ON_ZERO';

SET NAMES utf8mb4;

DROP DATABASE IF EXISTS `garten`;
CREATE DATABASE `garten` /*!40100 DEFAULT CHARACTER SET utf8mb4 COLLATE utf8mb4_0900_ai_ci */ /*!80016 DEFAULT ENCRYPTION='N' */;
USE `garten`;

DELIMITER ;;

CREATE PROCEDURE `giessen`(IN `beet` int)
BEGIN
  UPDATE pflanze SET gegossen = NOW() WHERE beet_id = beet;
END;;

DELIMITER ;

DROP TABLE IF EXISTS `pflanze`;
CREATE TABLE `pflanze` (
  `id` int NOT NULL AUTO_INCREMENT,
  `name` varchar(50) NOT NULL,
  `beet_id` int DEFAULT NULL,
  `gegossen` datetime DEFAULT NULL,
  PRIMARY KEY (`id`),
  KEY `beet_id` (`beet_id`)
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_0900_ai_ci;

INSERT INTO `pflanze` (`id`, `name`, `beet_id`, `gegossen`) VALUES
(1,	'Tomate',	1,	'2026-07-01 08:00:00'),
(2,	'Basilikum',	1,	NULL),
(3,	'Rose \"Gloria Dei\"',	2,	'2026-07-02 19:30:00');

DELIMITER ;;

CREATE TRIGGER `pflanze_bi` BEFORE INSERT ON `pflanze` FOR EACH ROW
SET NEW.name = TRIM(NEW.name);;

DELIMITER ;

DROP VIEW IF EXISTS `durstig`;
CREATE TABLE `durstig` (`id` int, `name` varchar(50));


DROP TABLE IF EXISTS `durstig`;
CREATE ALGORITHM=UNDEFINED SQL SECURITY DEFINER VIEW `durstig` AS select `pflanze`.`id` AS `id`,`pflanze`.`name` AS `name` from `pflanze` where (`pflanze`.`gegossen` is null);

-- 2026-12-03 11:40:02
