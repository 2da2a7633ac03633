-- Tables of the MariaDB round trip (tests/roundtrip/mariadb_roundtrip.py): every column type and
-- the awkward values a real dump holds. The test adds random rows to nums, random longblob
-- contents to bins (one above the browser's 1 MiB read window) and the 2500 rows of big.
CREATE DATABASE kvrt CHARACTER SET utf8mb4 COLLATE utf8mb4_bin;
USE kvrt;
SET time_zone = '+00:00';
CREATE TABLE `texts` (`id` int NOT NULL, `t` varchar(4000) CHARACTER SET utf8mb4, `tx` mediumtext CHARACTER SET utf8mb4, `lt` varchar(4000) CHARACTER SET latin1, `ch` char(20) CHARACTER SET utf8mb4, `e` enum('alpha','=beta','-gamma','with''quote','ü😀'), `s` set('x','y','=z'), `j` json, `=calc` varchar(20), PRIMARY KEY (id));
INSERT INTO `texts` (`id`, `t`, `tx`, `lt`, `ch`, `e`, `s`, `j`, `=calc`) VALUES
(1, 'plain', 'tab	here', 'plain', 'plain', 'alpha', '', '{"v": "plain", "n": 0}', '=1+1'),
(2, 'it\'s', 'nul\0inside', 'it\'s', 'it\'s', '=beta', 'x', '{"v": "it\'s", "n": 1}', 'ok'),
(3, 'say "hi"', '\0lead', 'say "hi"', 'say "hi"', '-gamma', 'x,y', '{"v": "say \\"hi\\"", "n": 2}', '-'),
(4, 'back\\slash \\0 \\n \\\\', 'trail\0', 'back\\slash \\0 \\n \\\\', 'back\\slash \\0 \\n \\\\', 'with\'quote', '=z', '{"v": "back\\\\slash \\\\0 \\\\n \\\\\\\\", "n": 3}', '@'),
(5, 'line1\nline2', 'Grüße äöü ÄÖÜ ß', 'line1\nline2', 'line1\nline2', 'ü😀', 'y,=z', '{"v": "line1\\nline2", "n": 4}', '=1+1'),
(6, 'cr\ronly', 'emoji 😀🎉 𝄞', 'cr\ronly', 'cr\ronly', 'alpha', '', '{"v": "cr\\ronly", "n": 5}', 'ok'),
(7, 'crlf\r\nend', 'mix \'é\' "😀" \\ ;', 'crlf\r\nend', 'crlf\r\nend', '=beta', 'x', '{"v": "crlf\\r\\nend", "n": 6}', '-'),
(8, 'tab	here', '=SUM(A1:A3)', 'tab	here', 'tab	here', '-gamma', 'x,y', '{"v": "tab\\there", "n": 7}', '@'),
(9, 'nul\0inside', '-5', 'nul\0inside', 'nul\0inside', 'with\'quote', '=z', '{"v": "nul\\u0000inside", "n": 8}', '=1+1'),
(10, '\0lead', '+1', '\0lead', '\0lead', 'ü😀', 'y,=z', '{"v": "\\u0000lead", "n": 9}', 'ok'),
(11, 'trail\0', '@cmd', 'trail\0', 'trail\0', 'alpha', '', '{"v": "trail\\u0000", "n": 10}', '-'),
(12, 'Grüße äöü ÄÖÜ ß', '  =after spaces', 'Grüße äöü ÄÖÜ ß', 'Grüße äöü ÄÖÜ ß', '=beta', 'x', '{"v": "Grüße äöü ÄÖÜ ß", "n": 11}', '@'),
(13, 'emoji 😀🎉 𝄞', '	 tab first', 'emoji ?? ?', 'emoji 😀🎉 𝄞', '-gamma', 'x,y', '{"v": "emoji 😀🎉 𝄞", "n": 12}', '=1+1'),
(14, 'mix \'é\' "😀" \\ ;', '\nnewline first', 'mix \'é\' "?" \\ ;', 'mix \'é\' "😀" \\ ;', 'with\'quote', '=z', '{"v": "mix \'é\' \\"😀\\" \\\\ ;", "n": 13}', 'ok'),
(15, '=SUM(A1:A3)', '\r', '=SUM(A1:A3)', '=SUM(A1:A3)', 'ü😀', 'y,=z', '{"v": "=SUM(A1:A3)", "n": 14}', '-'),
(16, '-5', '\r\n=x', '-5', '-5', 'alpha', '', '{"v": "-5", "n": 15}', '@'),
(17, '+1', '   ', '+1', '+1', '=beta', 'x', '{"v": "+1", "n": 16}', '=1+1'),
(18, '@cmd', '', '@cmd', '@cmd', '-gamma', 'x,y', '{"v": "@cmd", "n": 17}', 'ok'),
(19, '  =after spaces', '[nicht im INSERT]', '  =after spaces', '  =after spaces', 'with\'quote', '=z', '{"v": "  =after spaces", "n": 18}', '-'),
(20, '	 tab first', 'NULL', '	 tab first', '	 tab first', 'ü😀', 'y,=z', '{"v": "\\t tab first", "n": 19}', '@'),
(21, '\nnewline first', '\\N', '\nnewline first', '\nnewline first', 'alpha', '', '{"v": "\\nnewline first", "n": 20}', '=1+1'),
(22, '\r', 'semi;colon', '\r', '\r', '=beta', 'x', '{"v": "\\r", "n": 21}', 'ok'),
(23, '\r\n=x', 'a""b', '\r\n=x', '\r\n=x', '-gamma', 'x,y', '{"v": "\\r\\n=x", "n": 22}', '-'),
(24, '   ', 'ctrl-z \Z end', '   ', '   ', 'with\'quote', '=z', '{"v": "   ", "n": 23}', '@'),
(25, '', '50\\% and _x_', '', '', 'ü😀', 'y,=z', '{"v": "", "n": 24}', '=1+1'),
(26, '[nicht im INSERT]', '€ ‚ƒ„ Œ š', '[nicht im INSERT]', '[nicht im INSERT]', 'alpha', '', '{"v": "[nicht im INSERT]", "n": 25}', 'ok'),
(27, 'NULL', '\'', 'NULL', 'NULL', '=beta', 'x', '{"v": "NULL", "n": 26}', '-'),
(28, '\\N', '"', '\\N', '\\N', '-gamma', 'x,y', '{"v": "\\\\N", "n": 27}', '@'),
(29, 'semi;colon', '\\', 'semi;colon', 'semi;colon', 'with\'quote', '=z', '{"v": "semi;colon", "n": 28}', '=1+1'),
(30, 'a""b', CONCAT(REPEAT('x', 3000), '\0', REPEAT('ü', 500)), 'a""b', 'a""b', 'ü😀', 'y,=z', '{"v": "a\\"\\"b", "n": 29}', 'ok'),
(31, 'ctrl-z \Z end', '-', 'ctrl-z \Z end', 'ctrl-z \Z end', 'alpha', '', '{"v": "ctrl-z \\u001a end", "n": 30}', '-'),
(32, '50\\% and _x_', '=', '50\\% and _x_', '50\\% and _x_', '=beta', 'x', '{"v": "50\\\\% and _x_", "n": 31}', '@'),
(33, '€ ‚ƒ„ Œ š', ' -x', '€ ‚ƒ„ Œ š', '€ ‚ƒ„ Œ š', '-gamma', 'x,y', '{"v": "€ ‚ƒ„ Œ š", "n": 32}', '=1+1'),
(34, '\'', 'a	b\nc\rd', '\'', '\'', 'with\'quote', '=z', '{"v": "\'", "n": 33}', 'ok'),
(35, '"', 'plain', '"', '"', 'ü😀', 'y,=z', '{"v": "\\"", "n": 34}', '-'),
(36, '\\', 'it\'s', '\\', '\\', 'alpha', '', '{"v": "\\\\", "n": 35}', '@'),
(37, CONCAT(REPEAT('x', 3000), '\0', REPEAT('ü', 500)), 'say "hi"', CONCAT(REPEAT('x', 3000), '\0', REPEAT('ü', 500)), 'xxxxxxxxxxxxxxxxxxxx', '=beta', 'x', '{"v": "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxx\\u0000üüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüüü", "n": 36}', '=1+1'),
(38, '-', 'back\\slash \\0 \\n \\\\', '-', '-', '-gamma', 'x,y', '{"v": "-", "n": 37}', 'ok'),
(39, '=', 'line1\nline2', '=', '=', 'with\'quote', '=z', '{"v": "=", "n": 38}', '-'),
(40, ' -x', 'cr\ronly', ' -x', ' -x', 'ü😀', 'y,=z', '{"v": " -x", "n": 39}', '@'),
(41, 'a	b\nc\rd', 'crlf\r\nend', 'a	b\nc\rd', 'a	b\nc\rd', 'alpha', '', '{"v": "a\\tb\\nc\\rd", "n": 40}', '=1+1'),
(42, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE `bins` (`id` int NOT NULL, `b4` binary(4), `vb` varbinary(300), `bl` blob, `tb` tinyblob, `mb` mediumblob, `lb` longblob, PRIMARY KEY (id));
INSERT INTO `bins` (`id`, `b4`, `vb`, `bl`, `tb`, `mb`, `lb`) VALUES
(1, '', '', X'00275cff', X'00275cff', X'00275cff', ''),
(2, X'00', X'00', X'00000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff', X'000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfe', X'000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff00', ''),
(3, X'27', X'27', X'27c3a9f09f9880', X'c3a9f09f9880', X'c3a9f09f988027', ''),
(4, X'5c', X'5c', X'5c3d312b32', X'3d312b32', X'3d312b325c', ''),
(5, X'ff', X'ff', X'ff2d78', X'2d78', X'2d78ff', ''),
(6, X'00275cff', X'00275cff', X'00275cff096162', X'096162', X'09616200275cff', ''),
(7, X'00010203', X'000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff', X'000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeffc3', X'c3', X'c3000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff', ''),
(8, X'c3a9f09f', X'c3a9f09f9880', X'c3a9f09f9880eda080', X'eda080', X'eda080c3a9f09f9880', ''),
(9, X'3d312b32', X'3d312b32', X'3d312b32f4908080', X'f4908080', X'f49080803d312b32', ''),
(10, X'2d78', X'2d78', X'2d78c080', X'c080', X'c0802d78', ''),
(11, X'096162', X'096162', X'096162e28241', X'e28241', X'e28241096162', ''),
(12, X'c3', X'c3', X'c380bf', X'80bf', X'80bfc3', ''),
(13, X'eda080', X'eda080', X'eda0802271756f74656422', X'2271756f74656422', X'2271756f74656422eda080', ''),
(14, X'f4908080', X'f4908080', X'f49080800d0a1a', X'0d0a1a', X'0d0a1af4908080', ''),
(15, X'c080', X'c080', X'c08020204078', X'20204078', X'20204078c080', ''),
(16, X'e28241', X'e28241', X'e28241f09f98', X'f09f98', X'f09f98e28241', ''),
(17, X'80bf', X'80bf', X'80bf706c61696e206173636969', X'706c61696e206173636969', X'706c61696e20617363696980bf', ''),
(18, X'2271756f', X'2271756f74656422', X'2271756f74656422', '', X'2271756f74656422', ''),
(19, X'0d0a1a', X'0d0a1a', X'0d0a1a00', X'00', X'000d0a1a', ''),
(20, X'20204078', X'20204078', X'2020407827', X'27', X'2720204078', ''),
(21, X'f09f98', X'f09f98', X'f09f985c', X'5c', X'5cf09f98', ''),
(22, X'706c6169', X'706c61696e206173636969', X'706c61696e206173636969ff', X'ff', X'ff706c61696e206173636969', ''),
(24, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE `nums` (`id` int NOT NULL, `ti` tinyint, `tu` tinyint unsigned, `si` smallint, `su` smallint unsigned, `mi` mediumint, `i` int, `iu` int unsigned, `iz` int(8) unsigned zerofill, `bi` bigint, `bu` bigint unsigned, `d` decimal(65,30), `d2` decimal(10,2), `f` float, `db` double, `y` year, PRIMARY KEY (id));
INSERT INTO `nums` (`id`, `ti`, `tu`, `si`, `su`, `mi`, `i`, `iu`, `iz`, `bi`, `bu`, `d`, `d2`, `f`, `db`, `y`) VALUES
(1, -128, 0, -32768, 0, -8388608, -2147483648, 0, 0, -9223372036854775808, 0, '-99999999999999999999999999999999999.999999999999999999999999999999', '-99999999.99', -3.40282e+38, -1.7976931348623157e+308, 1901),
(2, 127, 255, 32767, 65535, 8388607, 2147483647, 4294967295, 99999999, 9223372036854775807, 18446744073709551615, '99999999999999999999999999999999999.999999999999999999999999999999', '99999999.99', 3.40282e+38, 1.7976931348623157e+308, 2155),
(3, 0, 0, 0, 0, 0, 0, 0, 42, 0, 0, '0', '0', 0, 0, 0),
(4, -1, 1, -1, 1, -1, -1, 1, 1, -1, 1, '0.000000000000000000000000000001', '-0.01', 1.17549e-38, 2.2250738585072014e-308, 2000),
(5, 5, 5, -5, 5, -5, -5, 5, 5, -5, 5, '-0.000000000000000000000000000001', '0.5', -1.5e-07, 1e-300, 1999),
(6, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, '123.456', '1.5', 123.456, 0.3333333333333333, 2024),
(7, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE `dates` (`id` int NOT NULL, `d` date, `dt` datetime(6), `dt0` datetime, `t` time, `t3` time(3), `ts` timestamp(6) NULL DEFAULT NULL, `y` year, PRIMARY KEY (id));
INSERT INTO `dates` (`id`, `d`, `dt`, `dt0`, `t`, `t3`, `ts`, `y`) VALUES
(1, '1000-01-01', '1000-01-01 00:00:00.000000', '1000-01-01 00:00:00', '-838:59:59', '-12:34:56.789', '1970-01-01 00:00:01.000000', 1901),
(2, '9999-12-31', '9999-12-31 23:59:59.999999', '9999-12-31 23:59:59', '838:59:59', '838:59:59.000', '2038-01-19 03:14:07.999999', 2155),
(3, '0000-00-00', '0000-00-00 00:00:00', '0000-00-00 00:00:00', '00:00:00', '-00:00:00.001', '2024-02-29 12:00:00.5', 0),
(4, '2024-02-29', '2024-02-29 23:59:59.000001', '2024-02-29 01:02:03', '-00:00:01', '00:00:00.5', '2000-01-01 00:00:00', 2024),
(5, NULL, NULL, NULL, NULL, NULL, NULL, NULL);
CREATE TABLE `bits` (`id` int NOT NULL, `b1` bit(1), `b5` bit(5), `b8` bit(8), `b64` bit(64), PRIMARY KEY (id));
INSERT INTO `bits` (`id`, `b1`, `b5`, `b8`, `b64`) VALUES
(1, 0, 0, 0, 0),
(2, 1, 1, 1, 1),
(3, 0, 2, 39, 18446744073709551615),
(4, 1, 3, 92, 4412750543122677053),
(5, 0, 4, 34, 3242591731706757120),
(6, 1, 5, 45, 648518346341351489),
(7, 0, 6, 61, 14097607846000903076),
(8, 1, 7, 9, 17338744769959925888),
(9, 0, 8, 10, 71777214294589695),
(10, 1, 9, 13, 2836185142087395164),
(11, 0, 10, 64, 0),
(12, 1, 11, 43, 1),
(13, 0, 12, 255, 18446744073709551615),
(14, 1, 13, 128, 4412750543122677053),
(15, 0, 14, 65, 3242591731706757120),
(16, 1, 15, 26, 648518346341351489),
(17, NULL, NULL, NULL, NULL);
CREATE TABLE `gen` (`id` int NOT NULL, `a` int, `twice` int AS (a * 2) VIRTUAL, `label` varchar(30) AS (concat('=', a, ' ''x''')) PERSISTENT, PRIMARY KEY (id));
INSERT INTO `gen` (`id`, `a`) VALUES
(1, 5),
(2, -7),
(3, NULL);
CREATE TABLE `empty_t` (`id` int NOT NULL, `v` varchar(10), PRIMARY KEY (id));
CREATE TABLE `big` (`id` int NOT NULL, `name` varchar(200), `payload` varbinary(120), `n` bigint, `note` text, PRIMARY KEY (id));
-- Objects around the tables that a real dump carries too: the trigger and the procedure go
-- into DELIMITER ;; blocks with semicolons and quotes in their bodies, the view is written as a
-- placeholder first and defined at the end.
CREATE VIEW v_texts AS SELECT id, t AS `semi;colon`, 'x'';y' AS lit FROM texts;
DELIMITER ;;
CREATE TRIGGER trg_gen BEFORE INSERT ON gen FOR EACH ROW BEGIN IF NEW.a = 0 THEN SET NEW.a = 1; END IF; SET @note = 'it''s; \ "ok"'; END;;
CREATE PROCEDURE p_demo(IN x INT) BEGIN SELECT 'a;b', "c;d", x; /* ; */ SELECT 1; END;;
DELIMITER ;
