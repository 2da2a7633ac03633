CREATE TABLE `t` (`a` int, `b` int);
INSERT INTO `t` VALUES (1,2),(3,4);
INSERT INTO `t` VALUES (1,2,3);
