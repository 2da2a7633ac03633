-- NO_BACKSLASH_ESCAPES switched on and off through executable comments (save and restore)
-- and through plain SET statements.
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
CREATE TABLE `paths` (
  `id` int NOT NULL,
  `p` varchar(200) DEFAULT NULL
);
INSERT INTO `paths` VALUES (1,'C:\\temp\\'),(2,'it''s');
/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES,ANSI_QUOTES' */;
INSERT INTO `paths` VALUES (3,'C:\temp\'),(4,'a\');
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
INSERT INTO `paths` VALUES (5,'back\'slash');
SET sql_mode = "no_backslash_escapes";
INSERT INTO `paths` VALUES (6,'x\');
SET sql_mode = DEFAULT;
INSERT INTO `paths` VALUES (7,'y\\');
