CREATE TABLE `x` (
  `id` int,
  `@note` varchar(50),
  `v` varchar(50),
  `bin` varbinary(10)
);
INSERT INTO `x` VALUES (-5,'-5',NULL,0x1f),('=SUM(A1)','  +x','say "hi"',X'4142'),(3,'\tabc','a\0b','AB'),(4,'l1\r\nl2',NOW(),b'0101'),(5,'@home','   ',- 5);
INSERT INTO `x` (`id`) VALUES (6);
INSERT INTO `x` VALUES (7,'[nicht im INSERT]','\n','');
