CREATE TABLE `kunden` (
  `id` int,
  `name` varchar(40),
  `ort` varchar(40),
  `notiz` text,
  `bild` blob
);
INSERT INTO `kunden` VALUES (1,'Anna "die Erste"','Berlin',NULL,X'00FF'),(2,'=HYPERLINK(1)','München','a\0b',NULL),(3,'Bert','Berlin','-5',_binary'AB'),(4,'Cleo','Köln',-5,NULL);
INSERT INTO `kunden` (`id`,`name`) VALUES (5,'Dora');
CREATE TABLE `neu` (`id` int);
INSERT INTO `neu` VALUES (1);
