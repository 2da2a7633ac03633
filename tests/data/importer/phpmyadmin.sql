-- phpMyAdmin SQL Dump
-- version 5.2.1
-- https://www.phpmyadmin.net/
--
-- Host: 127.0.0.1
-- Erstellungszeit: 03. Dez 2026 um 10:12
-- Server-Version: 10.4.32-MariaDB
-- PHP-Version: 8.2.12

SET SQL_MODE = "NO_AUTO_VALUE_ON_ZERO";
START TRANSACTION;
SET time_zone = "+00:00";


/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;
/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;
/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;
/*!40101 SET NAMES utf8mb4 */;

--
-- Datenbank: `bibliothek`
--

DELIMITER $$
--
-- Prozeduren
--
CREATE DEFINER=`root`@`localhost` PROCEDURE `ausleihen` (IN `buch` INT)   BEGIN
  UPDATE buch SET verliehen = 1 WHERE id = buch;
END$$

DELIMITER ;

-- --------------------------------------------------------

--
-- Tabellenstruktur für Tabelle `buch`
--

CREATE TABLE `buch` (
  `id` int(11) NOT NULL,
  `titel` varchar(200) NOT NULL,
  `verliehen` tinyint(1) NOT NULL DEFAULT 0
) ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci;

--
-- Daten für Tabelle `buch`
--

INSERT INTO `buch` (`id`, `titel`, `verliehen`) VALUES
(1, 'Der Zauberberg', 0),
(2, 'Faust; Teil 1', 1),
(3, 'Über \"Zitate\"', 0);

-- --------------------------------------------------------

--
-- Stellvertreter-Struktur des Views `verliehen`
-- (Siehe unten für die tatsächliche Ansicht)
--
CREATE TABLE `verliehen` (
`id` int(11)
,`titel` varchar(200)
);

--
-- Trigger `buch`
--
DELIMITER $$
CREATE TRIGGER `buch_titel` BEFORE INSERT ON `buch` FOR EACH ROW SET NEW.titel = TRIM(NEW.titel)
$$
DELIMITER ;

-- --------------------------------------------------------

--
-- Struktur des Views `verliehen`
--
DROP TABLE IF EXISTS `verliehen`;

CREATE ALGORITHM=UNDEFINED DEFINER=`root`@`localhost` SQL SECURITY DEFINER VIEW `verliehen`  AS SELECT `buch`.`id` AS `id`, `buch`.`titel` AS `titel` FROM `buch` WHERE `buch`.`verliehen` = 1 ;

--
-- Indizes der exportierten Tabellen
--

--
-- Indizes für die Tabelle `buch`
--
ALTER TABLE `buch`
  ADD PRIMARY KEY (`id`);

--
-- AUTO_INCREMENT für exportierte Tabellen
--

--
-- AUTO_INCREMENT für Tabelle `buch`
--
ALTER TABLE `buch`
  MODIFY `id` int(11) NOT NULL AUTO_INCREMENT, AUTO_INCREMENT=4;
COMMIT;

/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;
/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;
/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;
