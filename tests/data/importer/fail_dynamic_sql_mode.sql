CREATE TABLE `t` (`a` int);
SET sql_mode = CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES');
INSERT INTO `t` VALUES (1);
