CREATE TABLE `e` (`a` int, `b` int);
