-- Interleaved INSERTs of two tables, ON DUPLICATE KEY UPDATE, a table filled before its
-- CREATE TABLE and a table that has no CREATE TABLE at all.
USE `mix`;
INSERT INTO `early` VALUES (1,'before create');
CREATE TABLE `a` (`id` int NOT NULL, `v` varchar(5));
CREATE TABLE `b` (`id` int NOT NULL);
INSERT INTO `a` VALUES (1,'a1'),(2,'a2');
INSERT INTO `b` VALUES (10);
INSERT INTO `a` VALUES (3,'a3');
INSERT INTO `b` VALUES (20),(30);
INSERT INTO `a` (`id`,`v`) VALUES (4,'a4') ON DUPLICATE KEY UPDATE `v` = VALUES(`v`);
CREATE TABLE `early` (`id` int NOT NULL, `label` varchar(20));
INSERT INTO mix.`nocreate` VALUE (1, CONCAT('x', ','), (2 + 3));
;;
INSERT INTO `b` VALUES (40);
