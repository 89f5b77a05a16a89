<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AddressBox</name>
    <message>
        <source>Ctrl+click entries in the list to send to several at once</source>
        <translation>Strg+Klick auf Einträge der Liste sendet an mehrere zugleich</translation>
    </message>
</context>
<context>
    <name>AppController</name>
    <message>
        <source>The remembered password could not be read from the keyring: %1</source>
        <translation>Das gespeicherte Passwort konnte nicht aus dem Schlüsselbund gelesen werden: %1</translation>
    </message>
    <message>
        <source>The password could not be kept in the keyring: %1</source>
        <translation>Das Passwort konnte nicht im Schlüsselbund gespeichert werden: %1</translation>
    </message>
</context>
<context>
    <name>AppTray</name>
    <message>
        <source>Popup</source>
        <translation>Einblenden</translation>
    </message>
    <message>
        <source>&amp;Show</source>
        <translation>&amp;Anzeigen</translation>
    </message>
    <message>
        <source>&amp;Hide</source>
        <translation>&amp;Ausblenden</translation>
    </message>
    <message>
        <source>&amp;Remove Textdrop</source>
        <translation>Textdrop &amp;beenden</translation>
    </message>
    <message>
        <source>last from %1 at %2</source>
        <translation>zuletzt von %1 um %2</translation>
    </message>
    <message>
        <source>%1 new, </source>
        <translation>%1 neu, </translation>
    </message>
</context>
<context>
    <name>ArrivalNotice</name>
    <message>
        <source>Message from %1</source>
        <translation>Nachricht von %1</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>A message</source>
        <translation>Eine Nachricht</translation>
    </message>
    <message>
        <source>A message from %1</source>
        <translation>Eine Nachricht von %1</translation>
    </message>
    <message>
        <source>Message refused</source>
        <translation>Nachricht abgelehnt</translation>
    </message>
    <message>
        <source>%1 was refused.</source>
        <translation>%1 wurde abgelehnt.</translation>
    </message>
    <message>
        <source>Message from a new sender: %1</source>
        <translation>Nachricht von einem neuen Absender: %1</translation>
    </message>
    <message>
        <source>Block</source>
        <translation>Sperren</translation>
    </message>
</context>
<context>
    <name>Autostart</name>
    <message>
        <source>Could not remove %1</source>
        <translation>%1 konnte nicht entfernt werden</translation>
    </message>
    <message>
        <source>Could not create the folder %1</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden</translation>
    </message>
</context>
<context>
    <name>DocumentCommands</name>
    <message>
        <source>Text Files (*.txt)</source>
        <translation>Textdateien (*.txt)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Alle Dateien (*.*)</translation>
    </message>
    <message>
        <source>New Document</source>
        <translation>Neues Dokument</translation>
    </message>
    <message>
        <source>Load Document</source>
        <translation>Dokument laden</translation>
    </message>
    <message>
        <source>Save Document</source>
        <translation>Dokument speichern</translation>
    </message>
    <message>
        <source>Error saving </source>
        <translation>Fehler beim Speichern von </translation>
    </message>
    <message>
        <source>Saved </source>
        <translation>Gespeichert: </translation>
    </message>
    <message>
        <source>Error loading </source>
        <translation>Fehler beim Laden von </translation>
    </message>
    <message>
        <source>Loaded </source>
        <translation>Geladen: </translation>
    </message>
    <message>
        <source>The file is too large for the board: %1, the board takes up to %2.</source>
        <translation>Die Datei ist zu groß für die Tafel: %1, die Tafel fasst bis zu %2.</translation>
    </message>
    <message>
        <source>The file is too large for the board, which takes up to %1.</source>
        <translation>Die Datei ist zu groß für die Tafel, die bis zu %1 fasst.</translation>
    </message>
</context>
<context>
    <name>MessageDesk</name>
    <message>
        <source>History damaged</source>
        <translation>Verlauf beschädigt</translation>
    </message>
    <message>
        <source> bytes from (</source>
        <translation> Bytes von (</translation>
    </message>
    <message>
        <source> — long accent piles shown shortened; Copy and Send take them whole</source>
        <translation> — lange Akzentstapel gekürzt angezeigt; Kopieren und Senden übernehmen sie vollständig</translation>
    </message>
    <message>
        <source> — not saved: </source>
        <translation> — nicht gespeichert: </translation>
    </message>
    <message>
        <source> — history not written: </source>
        <translation> — Verlauf nicht geschrieben: </translation>
    </message>
    <message>
        <source>History not written: </source>
        <translation>Verlauf nicht geschrieben: </translation>
    </message>
    <message>
        <source>The history cannot be opened: %1</source>
        <translation>Der Verlauf kann nicht geöffnet werden: %1</translation>
    </message>
    <message>
        <source>Not sent: </source>
        <translation>Nicht gesendet: </translation>
    </message>
    <message>
        <source>A message from %1 was refused: the sender is blocked</source>
        <translation>Eine Nachricht von %1 wurde abgewiesen: der Absender ist gesperrt</translation>
    </message>
    <message>
        <source> — a new sender: kept aside until you choose Show in its notification or put it on the board from the history</source>
        <translation> — ein neuer Absender: zurückgehalten, bis Sie in der Benachrichtigung „Anzeigen“ wählen oder die Nachricht aus dem Verlauf auf die Tafel legen</translation>
    </message>
    <message>
        <source>%1 is blocked; Tools → Settings lists it to unblock</source>
        <translation>%1 ist gesperrt; unter Extras → Einstellungen lässt sich die Sperre aufheben</translation>
    </message>
</context>
<context>
    <name>PairedPhones</name>
    <message>
        <source>Paired phone</source>
        <translation>Gekoppeltes Telefon</translation>
    </message>
    <message>
        <source>Last use</source>
        <translation>Zuletzt benutzt</translation>
    </message>
    <message>
        <source>Unpair</source>
        <translation>Entkoppeln</translation>
    </message>
</context>
<context>
    <name>PhonePeers</name>
    <message>
        <source>Phones: port %1 - %2</source>
        <translation>Telefone: Port %1 - %2</translation>
    </message>
    <message>
        <source>delivered to %1</source>
        <translation>zugestellt an %1</translation>
    </message>
    <message>
        <source>waiting for the phone</source>
        <translation>wartet auf das Telefon</translation>
    </message>
    <message>
        <source>Too long for the phone</source>
        <translation>Zu lang für das Telefon</translation>
    </message>
    <message>
        <source>A phone asks to pair: allow?</source>
        <translation>Ein Telefon möchte sich koppeln: zulassen?</translation>
    </message>
    <message>
        <source>Pair a phone</source>
        <translation>Telefon koppeln</translation>
    </message>
</context>
<context>
    <name>PreferencesBox</name>
    <message>
        <source>History and notifications</source>
        <translation>Verlauf und Benachrichtigungen</translation>
    </message>
    <message>
        <source>Keep history</source>
        <translation>Verlauf führen</translation>
    </message>
    <message>
        <source>Also keep enciphered messages (stored unprotected)</source>
        <translation>Auch verschlüsselte Nachrichten aufbewahren (ungeschützt gespeichert)</translation>
    </message>
    <message>
        <source> messages</source>
        <translation> Nachrichten</translation>
    </message>
    <message>
        <source> days</source>
        <translation> Tage</translation>
    </message>
    <message>
        <source> MiB</source>
        <translation> MiB</translation>
    </message>
    <message>
        <source>Notify me of messages that arrive out of sight</source>
        <translation>Benachrichtigen, wenn Nachrichten unbemerkt eintreffen</translation>
    </message>
    <message>
        <source>Copy received text to the clipboard</source>
        <translation>Empfangenen Text in die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Start Textdrop when I log in</source>
        <translation>Textdrop bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>At most</source>
        <translation>Höchstens</translation>
    </message>
    <message>
        <source>for</source>
        <translation>für</translation>
    </message>
    <message>
        <source>in</source>
        <translation>in</translation>
    </message>
    <message>
        <source>Ask before showing messages from new senders</source>
        <translation>Vor dem Anzeigen von Nachrichten neuer Absender fragen</translation>
    </message>
    <message>
        <source>Unblock</source>
        <translation>Entsperren</translation>
    </message>
    <message>
        <source>Blocked senders:</source>
        <translation>Gesperrte Absender:</translation>
    </message>
</context>
<context>
    <name>SendRound</name>
    <message>
        <source>%1 of %2 answered &quot;OK&quot;</source>
        <translation>%1 von %2 antworteten „OK“</translation>
    </message>
    <message>
        <source>; not: </source>
        <translation>; nicht: </translation>
    </message>
    <message>
        <source>not an address</source>
        <translation>keine Adresse</translation>
    </message>
</context>
<context>
    <name>cDialog</name>
    <message>
        <source>
This file does not exist.
Create the file?</source>
        <translation>
Diese Datei existiert nicht.
Datei anlegen?</translation>
    </message>
</context>
<context>
    <name>frmAbout</name>
    <message>
        <source>About %1</source>
        <translation>Über %1</translation>
    </message>
    <message>
        <source>Copyright © the %1 developers.</source>
        <translation>Copyright © die Entwickler von %1.</translation>
    </message>
    <message>
        <source>web:</source>
        <translation>Web:</translation>
    </message>
    <message>
        <source>e-mail:</source>
        <translation>E-Mail:</translation>
    </message>
    <message>
        <source>This program is freeware; use it at your own risk.</source>
        <translation>Dieses Programm ist kostenlos; die Benutzung erfolgt auf eigene Gefahr.</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>frmHistory</name>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>received, enciphered</source>
        <translation>empfangen, verschlüsselt</translation>
    </message>
    <message>
        <source>Address</source>
        <translation>Adresse</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Put on board</source>
        <translation>Auf die &amp;Tafel legen</translation>
    </message>
    <message>
        <source>Send &amp;again</source>
        <translation>&amp;Erneut senden</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>to</source>
        <translation>an</translation>
    </message>
    <message>
        <source>C&amp;lear history</source>
        <translation>Verlauf lee&amp;ren</translation>
    </message>
    <message>
        <source>Remove every message from the history?</source>
        <translation>Alle Nachrichten aus dem Verlauf entfernen?</translation>
    </message>
    <message>
        <source>&amp;Undo delete</source>
        <translation>Löschen rückgängig &amp;machen</translation>
    </message>
</context>
<context>
    <name>frmIPAddress</name>
    <message>
        <source>Select IP Address:</source>
        <translation>IP-Adresse wählen:</translation>
    </message>
    <message>
        <source>Select</source>
        <translation>Auswählen</translation>
    </message>
    <message>
        <source>Available IP&apos;s</source>
        <translation>Verfügbare IP-Adressen</translation>
    </message>
    <message>
        <source>IP Helper is not supported by this system.</source>
        <translation>IP Helper wird von diesem System nicht unterstützt.</translation>
    </message>
</context>
<context>
    <name>frmLog</name>
    <message>
        <source>Log</source>
        <translation>Protokoll</translation>
    </message>
</context>
<context>
    <name>frmMain</name>
    <message>
        <source>Clear</source>
        <translation>Leeren</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Paste</source>
        <translation>Einfügen</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;New Document</source>
        <translation>&amp;Neues Dokument</translation>
    </message>
    <message>
        <source>Open Document...</source>
        <translation>Dokument öffnen …</translation>
    </message>
    <message>
        <source>Save Document...</source>
        <translation>Dokument speichern …</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>&amp;Ausschneiden</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>E&amp;infügen</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Select &amp;All</source>
        <translation>Alles &amp;markieren</translation>
    </message>
    <message>
        <source>&amp;Undo</source>
        <translation>&amp;Rückgängig</translation>
    </message>
    <message>
        <source>&amp;Tools</source>
        <translation>E&amp;xtras</translation>
    </message>
    <message>
        <source>&amp;Settings</source>
        <translation>&amp;Einstellungen</translation>
    </message>
    <message>
        <source>&amp;View Log</source>
        <translation>&amp;Protokoll anzeigen</translation>
    </message>
    <message>
        <source>&amp;Restart Server</source>
        <translation>Server neu &amp;starten</translation>
    </message>
    <message>
        <source>&amp;History</source>
        <translation>&amp;Verlauf</translation>
    </message>
    <message>
        <source>Pair a &amp;phone…</source>
        <translation>&amp;Telefon koppeln …</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>&amp;About Textdrop...</source>
        <translation>&amp;Über Textdrop …</translation>
    </message>
    <message>
        <source>Another instance of %1 is currently running.

This instance will shutdown automatically.</source>
        <translation>Eine andere Instanz von %1 läuft bereits.

Diese Instanz wird automatisch beendet.</translation>
    </message>
    <message>
        <source>Receiving on %1 as %2</source>
        <translation>Empfang auf %1 als %2</translation>
    </message>
    <message>
        <source>Server failed to start on %1 — see the log</source>
        <translation>Der Server konnte auf %1 nicht starten – siehe Protokoll</translation>
    </message>
    <message>
        <source>%1: not receiving</source>
        <translation>%1: kein Empfang</translation>
    </message>
    <message>
        <source>Plain text is refused: &quot;Accept only secure connections&quot; is chosen and no password is set. Enter the password in the settings.</source>
        <translation>Klartext wird abgelehnt: „Nur sichere Verbindungen annehmen“ ist gewählt und kein Passwort gesetzt. Geben Sie das Passwort in den Einstellungen ein.</translation>
    </message>
    <message>
        <source>No IP Address specified</source>
        <translation>Keine IP-Adresse angegeben</translation>
    </message>
    <message>
        <source> bytes sent in </source>
        <translation> Bytes gesendet in </translation>
    </message>
    <message>
        <source> seconds</source>
        <translation> Sekunden</translation>
    </message>
    <message>
        <source>Send Error #</source>
        <translation>Sendefehler Nr. </translation>
    </message>
    <message>
        <source> — the computer may be blocked by a firewall, or by the network (client isolation on Wi-Fi)</source>
        <translation> — der Computer wird womöglich von einer Firewall oder vom Netzwerk blockiert (Client-Isolation im WLAN)</translation>
    </message>
    <message>
        <source>Remote Server Error: </source>
        <translation>Fehler der Gegenseite: </translation>
    </message>
    <message>
        <source>Connection from </source>
        <translation>Verbindung von </translation>
    </message>
    <message>
        <source>Nothing received from </source>
        <translation>Nichts empfangen von </translation>
    </message>
    <message>
        <source>Timeout waiting on </source>
        <translation>Zeitüberschreitung beim Warten auf </translation>
    </message>
    <message>
        <source> Error: </source>
        <translation> Fehler: </translation>
    </message>
    <message>
        <source>Announced on the network as %1</source>
        <translation>Im Netzwerk angekündigt als %1</translation>
    </message>
    <message>
        <source>Discovery is off: %1</source>
        <translation>Erkennung ist aus: %1</translation>
    </message>
    <message>
        <source>the receiver is not running</source>
        <translation>der Empfänger läuft nicht</translation>
    </message>
    <message>
        <source>Where to send: an address, a name, or address:port; Ctrl+click ticks entries to send to several (Ctrl+L)</source>
        <translation>Wohin senden: eine Adresse, ein Name oder Adresse:Port; Strg+Klick hakt Einträge ab, um an mehrere zu senden (Strg+L)</translation>
    </message>
    <message>
        <source>Characters on the board</source>
        <translation>Zeichen auf der Tafel</translation>
    </message>
    <message>
        <source>&amp;Send</source>
        <translation>&amp;Senden</translation>
    </message>
    <message>
        <source>Send the board to the address in the box, or to each ticked entry (Ctrl+Enter)</source>
        <translation>Die Tafel an die Adresse im Feld senden oder an jeden abgehakten Eintrag (Strg+Eingabe)</translation>
    </message>
    <message>
        <source>Empty the board; Ctrl+Z brings back what you typed</source>
        <translation>Die Tafel leeren; Strg+Z bringt das Getippte zurück</translation>
    </message>
    <message>
        <source>Copy the whole board to the clipboard</source>
        <translation>Die ganze Tafel in die Zwischenablage kopieren</translation>
    </message>
    <message>
        <source>Put the clipboard&apos;s text in place of the selection</source>
        <translation>Den Text der Zwischenablage an die Stelle der Auswahl setzen</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>&amp;Wiederherstellen</translation>
    </message>
</context>
<context>
    <name>frmPairPhone</name>
    <message>
        <source>Pair a phone</source>
        <translation>Telefon koppeln</translation>
    </message>
    <message>
        <source>Scan a code with the phone&apos;s camera and open the link. Each code pairs one phone, and only while this window is open; you will be asked to allow it.</source>
        <translation>Scannen Sie einen Code mit der Kamera des Telefons und öffnen Sie den Link. Jeder Code koppelt ein Telefon, und nur solange dieses Fenster offen ist; Sie werden gefragt, ob Sie es zulassen.</translation>
    </message>
</context>
<context>
    <name>frmSettings</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Server Settings</source>
        <translation>Server-Einstellungen</translation>
    </message>
    <message>
        <source>Enter your IP address for server:</source>
        <translation>IP-Adresse für den Server:</translation>
    </message>
    <message>
        <source>Server Port:</source>
        <translation>Server-Port:</translation>
    </message>
    <message>
        <source>Timeout:</source>
        <translation>Zeitlimit:</translation>
    </message>
    <message>
        <source>Path to save messages: (Blank Disables Save)</source>
        <translation>Pfad zum Speichern von Nachrichten: (leer: kein Speichern)</translation>
    </message>
    <message>
        <source>Secure Transfers</source>
        <translation>Sichere Übertragungen</translation>
    </message>
    <message>
        <source>Encrypt all data being sent</source>
        <translation>Alle gesendeten Daten verschlüsseln</translation>
    </message>
    <message>
        <source>Accept only secure connections</source>
        <translation>Nur sichere Verbindungen annehmen</translation>
    </message>
    <message>
        <source>Remember the password</source>
        <translation>Passwort merken</translation>
    </message>
    <message>
        <source>Sealed</source>
        <translation>Versiegelt</translation>
    </message>
    <message>
        <source>Legacy (compatible with older copies; weak)</source>
        <translation>Alt (kompatibel mit älteren Kopien; schwach)</translation>
    </message>
    <message>
        <source>Password:</source>
        <translation>Passwort:</translation>
    </message>
    <message>
        <source>Re-Type Password:</source>
        <translation>Passwort wiederholen:</translation>
    </message>
    <message>
        <source>Cipher:</source>
        <translation>Verschlüsselung:</translation>
    </message>
    <message>
        <source>This Computer on the Network</source>
        <translation>Dieser Computer im Netzwerk</translation>
    </message>
    <message>
        <source>Others reach it at: %1</source>
        <translation>Andere erreichen ihn unter: %1</translation>
    </message>
    <message>
        <source>Name shown to other computers:</source>
        <translation>Name für andere Computer:</translation>
    </message>
    <message>
        <source>Phones</source>
        <translation>Telefone</translation>
    </message>
    <message>
        <source>Port for pairing phones:</source>
        <translation>Port zum Koppeln von Telefonen:</translation>
    </message>
    <message>
        <source>ticks of %1 s</source>
        <translation>Takte zu %1 s</translation>
    </message>
    <message>
        <source>ticks of %1 s: a silent connection ends after %2 s</source>
        <translation>Takte zu %1 s: eine stille Verbindung endet nach %2 s</translation>
    </message>
    <message>
        <source>Cannot encrypt data without a password.</source>
        <translation>Ohne Passwort kann nicht verschlüsselt werden.</translation>
    </message>
    <message>
        <source>Password do not match.</source>
        <translation>Die Passwörter stimmen nicht überein.</translation>
    </message>
    <message>
        <source>Server Port must be a number from 1 to 65535.</source>
        <translation>Der Server-Port muss eine Zahl von 1 bis 65535 sein.</translation>
    </message>
    <message>
        <source>Port for pairing phones must be a number from 1 to 65535, other than the Server Port.</source>
        <translation>Der Port zum Koppeln von Telefonen muss eine Zahl von 1 bis 65535 sein und sich vom Server-Port unterscheiden.</translation>
    </message>
    <message>
        <source>Timeout must be a whole number, 0 or more.</source>
        <translation>Das Zeitlimit muss eine ganze Zahl sein, 0 oder größer.</translation>
    </message>
    <message>
        <source>Path to save messages: the folder %1 cannot be created.</source>
        <translation>Pfad zum Speichern von Nachrichten: Der Ordner %1 kann nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Path to save messages: the folder %1 cannot be written.</source>
        <translation>Pfad zum Speichern von Nachrichten: In den Ordner %1 kann nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>Start at log-in could not be changed: %1</source>
        <translation>Der Start bei der Anmeldung konnte nicht geändert werden: %1</translation>
    </message>
</context>
</TS>
