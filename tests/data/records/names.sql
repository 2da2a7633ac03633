CREATE TABLE `g` (`grüße` text);
INSERT INTO `g` VALUES ('Bär €');
