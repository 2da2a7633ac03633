-- MySQL dump 10.13  Distrib 8.0.40, for Linux (x86_64), --compatible=ansi
/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE, SQL_MODE='ANSI_QUOTES,NO_AUTO_VALUE_ON_ZERO' */;
DROP TABLE IF EXISTS "schluessel";
CREATE TABLE "schluessel" (
  "id" int NOT NULL,
  "key" varchar(10) NOT NULL,
  "index" int DEFAULT NULL,
  "check" varchar(5) DEFAULT NULL,
  "primary" tinyint(1) NOT NULL DEFAULT '0',
  PRIMARY KEY ("id"),
  UNIQUE KEY "key" ("key")
);
INSERT INTO "schluessel" VALUES (1,'A-1',10,'ok',1),(2,'B-2',NULL,'nein',0);
/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;
