-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)
-- Options: --no-data
CREATE DATABASE /*!32312 IF NOT EXISTS*/ `empty_db`;
USE `empty_db`;
CREATE TABLE IF NOT EXISTS `shop`.`orders` (
  `id` int NOT NULL,
  `key` varchar(10),
  key `k` (`key`)
);
CREATE TABLE `copy` LIKE `shop`.`orders`;
