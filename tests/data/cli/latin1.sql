CREATE TABLE `tä` (`größe` int);
INSERT INTO `tä` VALUES (1);
