CREATE TABLE t (a int, b text);
INSERT INTO t VALUES (1,'a');
INSERT INTO t VALUES (2,'b') ;
INSERT INTO t VALUES (3,'c;
INSERT INTO t VALUES (4,''d'');
');

-- x
INSERT INTO t VALUES (5,'e');
REPLACE INTO t (a, b) VALUES (6,'f');
REPLACE INTO t (a, b) VALUES (7,'g');
REPLACE INTO t (a, b) VALUES (8,'h\');
REPLACE INTO t (a, b) VALUES (9,'i');
insert ignore into `t` values(10,'j');
insert ignore into `t` values(11,'k'),(12);
insert ignore into `t` values(13,'l');
insert ignore into `t` values(14,'m');
