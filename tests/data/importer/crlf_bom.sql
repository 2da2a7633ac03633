-- Exported on Windows (UTF-8 with byte-order mark, CR LF)
CREATE TABLE `notes` (
  `id` int NOT NULL,
  `txt` varchar(50) DEFAULT NULL
);
INSERT INTO `notes` VALUES (1,'Grüße'),
(2,'line\r\nbreak');
# a comment line ending in a lone CRINSERT INTO `notes` VALUES (9,'hidden');
INSERT INTO `notes` VALUES (3,'last')