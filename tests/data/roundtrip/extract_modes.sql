-- A dump written by hand for the SQL extract round trip (tests/roundtrip/mariadb_extract.py):
-- what mariadb-dump never writes but other tools and hand-edited dumps do. Tuples under
-- NO_BACKSLASH_ESCAPES and under ANSI_QUOTES, both in one table too; a table whose tuples are
-- split over INSERTs with different column lists, interleaved with another table's; REPLACE
-- and INSERT IGNORE whose order decides the rows; a 0 in an AUTO_INCREMENT column; spatial
-- values; tables under different SET NAMES; a table without CREATE text is not here (a server
-- cannot load it).
/*!40101 SET NAMES utf8mb4 */;
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='NO_AUTO_VALUE_ON_ZERO' */;
CREATE TABLE `nbe` (`id` int NOT NULL, `s` varchar(60), `b` varbinary(20), PRIMARY KEY (`id`));
INSERT INTO `nbe` VALUES (1,'back\\slash','\0\n'),(2,'it\'s','x');
SET SQL_MODE='NO_BACKSLASH_ESCAPES';
INSERT INTO `nbe` VALUES (3,'back\slash','\0'),(4,'it''s \n','\'),(5,'\\','a\b');
SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';
INSERT INTO `nbe` VALUES (6,'after \\ again','\\');
CREATE TABLE `lists` (`a` int NOT NULL, `b` varchar(20) DEFAULT 'b-default', `c` int DEFAULT 7, `d` text, PRIMARY KEY (`a`));
CREATE TABLE `other` (`id` int NOT NULL AUTO_INCREMENT, `v` varchar(10), PRIMARY KEY (`id`));
INSERT INTO `lists` (`a`,`b`) VALUES (1,'one'),(2,'two');
INSERT INTO `other` VALUES (0,'zero'),(5,'five');
INSERT INTO `lists` (`d`,`c`,`a`) VALUES ('dee',30,3),(NULL,NULL,4);
INSERT INTO `lists` VALUES (5,'five',50,'full');
INSERT INTO `other` (`v`) VALUES ('auto');
INSERT INTO `lists` (`a`) VALUES (6);
CREATE TABLE `verbs` (`id` int NOT NULL, `v` varchar(10), PRIMARY KEY (`id`));
INSERT INTO `verbs` VALUES (1,'first'),(2,'first');
REPLACE INTO `verbs` VALUES (1,'replaced'),(3,'new');
INSERT IGNORE INTO `verbs` VALUES (2,'ignored'),(4,'kept');
REPLACE INTO `verbs` (`v`,`id`) VALUES ('again',2);
SET SQL_MODE='ANSI_QUOTES,NO_AUTO_VALUE_ON_ZERO';
CREATE TABLE "ansi" ("id" int NOT NULL, "key" varchar(10), "order" int DEFAULT NULL, PRIMARY KEY ("id"));
INSERT INTO "ansi" ("id","key") VALUES (1,'A-1'),(2,'it''s');
INSERT INTO "ansi" VALUES (3,'c',3);
SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';
INSERT INTO `ansi` VALUES (4,'back\\',4);
CREATE TABLE `geo` (`id` int NOT NULL, `p` point, `g` geometry, PRIMARY KEY (`id`));
INSERT INTO `geo` VALUES (1,X'000000000101000000000000000000F03F0000000000000040',NULL),(2,NULL,X'000000000101000000000000000000244000000000000034C0');
/*!40101 SET NAMES latin1 */;
CREATE TABLE `latin` (`id` int NOT NULL, `s` varchar(20), PRIMARY KEY (`id`)) DEFAULT CHARSET=utf8mb4;
INSERT INTO `latin` VALUES (1,'Müller'),(2,'été § ½');
/*!40101 SET NAMES utf8mb4 */;
CREATE TABLE `utf` (`id` int NOT NULL, `s` varchar(20), PRIMARY KEY (`id`)) DEFAULT CHARSET=utf8mb4;
INSERT INTO `utf` VALUES (1,'MÃ¼ller'),(2,'â‚¬ ðŸ˜€');
SET character_set_client = latin1;
INSERT INTO `latin` VALUES (3,'Straße');
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
