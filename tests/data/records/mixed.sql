CREATE TABLE `t` (
  `id` int,
  `a` varchar(20),
  `b` varchar(20),
  `c` blob
);
INSERT INTO `t` VALUES (1,42,'abc',NULL),(2,'42','ABC',NULL),(3,42.0,NULL,X'4142'),(4,042,NULL,_binary'AB'),(NULL,NOW(),NULL,NULL),(NULL,NULL,NULL,NULL);
INSERT INTO `t` (`id`) VALUES (7);
INSERT INTO `t` (`b`) VALUES (NULL);
INSERT INTO `t` VALUES (9,'x','B�r',NULL),(10,'Grüße','aabaabaaab',NULL);
