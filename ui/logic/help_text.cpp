// Help text and the copied grid row (see help_text.h).
#include "ui/logic/help_text.h"

namespace kv {

namespace {

// One entry a line; "" is an empty line between groups.
const char* const HELP_LINES[] = {
    "KOR-VANE DUMP BROWSER 1.0.1",
    "Native Windows-x64-App · schreibgeschützt · ohne Server",
    "",
    "START",
    "Öffnen: normale .sql-/Text-Dumps. .gz und .zip vorher entpacken. Die Demo liegt im "
    "Unterordner samples.",
    "Struktur: Dump → Datenbanken → Tabellen / Views / Routinen → Einträge. Doppelklick auf eine "
    "Zeile öffnet die Details.",
    "Die Spalte # ist die Anzeige-Reihenfolge, kein MySQL-Primärschlüssel.",
    "",
    "GROSSE DATEIEN",
    "Der Import liest blockweise und speichert 16 Bytes pro Datensatz plus Schemametadaten. Die "
    "Oberfläche lädt 100 Zeilen pro Seite. Ein Seitensprung liest direkt den Positionsindex, "
    "ohne alle vorherigen Einträge zu durchlaufen.",
    "Filter durchsuchen die komplette Tabelle im Hintergrund; Treffer werden auf der Platte "
    "abgelegt. Ein Vollscan kann bei großen Dumps dauern. Es gibt keinen Volltextindex und "
    "keine globale Spaltensortierung.",
    "Die Originaldatei wird weiter benötigt und während der Sitzung gegen Schreibzugriffe "
    "gesperrt.",
    "",
    "FILTER & EXPORT",
    "Filter: enthält, entspricht (exakter Text, kein Zahlenvergleich), IS NULL oder IS NOT "
    "NULL; pro Spalte oder über alle Spalten. Textfilter beachten Groß-/Kleinschreibung.",
    "CSV exportiert alle Einträge bzw. alle aktuellen Filtertreffer, nicht nur die Seite. UTF-8 "
    "mit BOM, Semikolon, CRLF. NULL = \\N; fehlende INSERT-Spalte = [nicht im INSERT]. Ein "
    "gleichlautender Text ist in CSV nicht mehr eindeutig von diesem Marker unterscheidbar.",
    "Binärwerte bleiben Hex-/Bitliterale. Text-NUL wird als \\0 geschrieben. Formelverdächtige "
    "Textfelder und Überschriften erhalten ein führendes Apostroph. CSV ist daher ein "
    "geschützter Anzeigeexport, kein bytegenaues Backup.",
    "SQL-Tupel speichert die Originalbytes eines ausgewählten Tupels – ohne INSERT-Header, "
    "keine ausführbare Wiederherstellungsdatei.",
    "",
    "ZEICHENSATZ",
    "UTF-8 ist voreingestellt. Für ältere Dumps Windows-1252 oder Latin-1 wählen. Die Auswahl "
    "steuert Anzeige, Filter und CSV. SQL-SET-NAMES wird nicht automatisch zur "
    "Zeichensatzerkennung benutzt. Andere Codierungen wie Shift-JIS/GBK und UTF-16 werden "
    "nicht unterstützt.",
    "",
    "SQL-GRENZEN",
    "Unterstützt: gewöhnliche CREATE TABLE, USE, INSERT/REPLACE VALUES, Mehrfach-INSERT, "
    "explizite Spaltenlisten, MySQL-Escapes, einfache SQL_MODE-Umschaltungen und "
    "DELIMITER-Routinen. Einfache Views/Routinen werden nur als SQL-Text angezeigt.",
    "Kein SQL wird ausgeführt. UPDATE/DELETE, REPLACE-Eindeutigkeitsregeln, Defaults, "
    "generierte Spalten, Constraints, ON DUPLICATE KEY, Views und Routinen werden nicht "
    "berechnet. SQL-Ausdrücke bleiben Literale. Code in Versionskommentaren wird außer "
    "SQL_MODE nicht interpretiert.",
    "Maximal 4.096 Spalten; Vorschau/Filter/CSV bis 64 MiB je einzelnem SQL-Tupel. Größere "
    "Tupel bis knapp 4 GiB werden indexiert und lassen sich roh speichern. Vorschauen sind "
    "begrenzt und mit … markiert.",
    "",
    "CACHE & DATENSCHUTZ",
    "Cache: %LOCALAPPDATA%\\Kor-Vane\\DumpBrowser\\Cache. 'Cache' öffnet den Ordner. Zum "
    "Löschen zuerst die Anwendung schließen. 'Neu indexieren' baut den Cache erneut auf. Keine "
    "Telemetrie, keine Netzwerkverbindung und keine automatischen Updates im Programmcode. "
    "Cache, Quellpfad und Schema sind lokal unverschlüsselt.",
    "Der Cache-Fingerprint verwendet Pfad, Größe, Änderungszeit und Anfang/Ende der Datei, "
    "keine kryptografische Vollprüfung. Bei bewusst manipulierten Dateizeiten neu indexieren.",
    "",
    "TASTATUR",
    "Ctrl+O: öffnen · Ctrl+F: Filter · Enter: Filter/Seitensprung · Alt+←/→: Seite wechseln",
    "Ctrl+C im Datengitter: sichtbare Zeilenvorschau als TSV · Esc: laufende Aktion abbrechen",
    "",
    "LIEFERUNG",
    "Alle anwendungsspezifischen Bestandteile sind eingebaut. Genutzt werden nur "
    "Windows-Systembibliotheken. Keine MySQL-, Python-, .NET- oder Java-Installation nötig. "
    "Unterstützungsziel: Windows 11 x64, Windows 10 ab 1703 x64 mit den verwendeten "
    "Win32-APIs; die Windows-Oberfläche wurde in dieser Build-Umgebung nicht ausgeführt.",
};

std::string build_help_text() {
    std::string text;
    for (const char* line : HELP_LINES) {
        text += line;
        text += "\r\n";
    }
    return text;
}

}  // namespace

const std::string& ui_help_text() {
    static const std::string text = build_help_text();
    return text;
}

std::u16string ui_row_tsv(const std::vector<std::u16string>& cells) {
    std::u16string row;
    for (std::size_t i = 1; i < cells.size(); ++i) {
        if (i > 1) row += u'\t';
        row += cells[i];
    }
    return row;
}

}  // namespace kv
