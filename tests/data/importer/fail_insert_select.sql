CREATE TABLE `t` (`a` int, `b` int);
INSERT INTO `t` VALUES (1,2);
INSERT INTO `t` (`a`, `b`) SELECT 1, 2;
