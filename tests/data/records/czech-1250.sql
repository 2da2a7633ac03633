CREATE TABLE `mìsta` (
  `název` varchar(40),
  `poznámka` text
);
INSERT INTO `mìsta` VALUES ('Ústí nad Labem','Labe'),('Pøíliš luouèkı kùò','úpìl ïábelské ódy'),('Brno',NULL);
