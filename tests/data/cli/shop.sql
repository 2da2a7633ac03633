-- MySQL dump
/*!40101 SET NAMES utf8mb4 */;
CREATE DATABASE `shop`;
USE `shop`;
CREATE TABLE `kunden` (
  `id` int NOT NULL,
  `name` varchar(40),
  `ort` varchar(40),
  `bild` varbinary(8),
  PRIMARY KEY (`id`)
);
INSERT INTO `kunden` VALUES (1,'Jürgen','Köln',NULL),(2,'=SUMME(A1)','Berlin','AB'),(3,'Anna "Zitat"','Köln',X'00FF');
INSERT INTO `kunden` (`id`,`name`) VALUES (4,'ohne Ort');
CREATE TABLE `leer` (`x` int);
CREATE VIEW `v_koeln` AS SELECT * FROM `kunden` WHERE `ort` = 'Köln';
USE `archiv`;
CREATE TABLE `kunden` (`id` int);
INSERT INTO `kunden` VALUES (99);
INSERT INTO `protokoll` VALUES ('ohne CREATE');
