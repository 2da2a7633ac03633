-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)
--
-- Host: localhost    Database: logs
-- Options: --no-create-info
-- ------------------------------------------------------

/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;

USE `logs`;

--
-- Dumping data for table `events`
--

LOCK TABLES `events` WRITE;
/*!40000 ALTER TABLE `events` DISABLE KEYS */;
INSERT INTO `events` VALUES (1,'login','2024-01-01 00:00:00'),(2,'logout','2024-01-01 01:00:00');
/*!40000 ALTER TABLE `events` ENABLE KEYS */;
UNLOCK TABLES;
INSERT INTO `events` VALUES (3,'login','2024-01-02 00:00:00');
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
