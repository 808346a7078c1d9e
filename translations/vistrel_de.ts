<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Annotation</name>
    <message>
        <source>Text</source>
        <translation>Text</translation>
    </message>
</context>
<context>
    <name>Beautify</name>
    <message>
        <source>Sunset</source>
        <translation>Sonnenuntergang</translation>
    </message>
    <message>
        <source>Ocean</source>
        <translation>Ozean</translation>
    </message>
    <message>
        <source>Grape</source>
        <translation>Traube</translation>
    </message>
    <message>
        <source>Mint</source>
        <translation>Minze</translation>
    </message>
    <message>
        <source>Peach</source>
        <translation>Pfirsich</translation>
    </message>
    <message>
        <source>Slate</source>
        <translation>Schiefer</translation>
    </message>
    <message>
        <source>Paper</source>
        <translation>Papier</translation>
    </message>
</context>
<context>
    <name>CaptionPanel</name>
    <message>
        <source>Legend</source>
        <translation>Legende</translation>
    </message>
</context>
<context>
    <name>CaptureError</name>
    <message>
        <source>No display found to capture.</source>
        <translation>Kein Bildschirm zum Aufnehmen gefunden.</translation>
    </message>
    <message>
        <source>Not enough memory to capture this screen</source>
        <translation>Nicht genug Speicher, um diesen Bildschirm aufzunehmen</translation>
    </message>
</context>
<context>
    <name>CaptureService</name>
    <message>
        <source>The area to capture is empty.</source>
        <translation>Der aufzunehmende Bereich ist leer.</translation>
    </message>
    <message>
        <source>The window has no area to capture.</source>
        <translation>Das Fenster hat keine Fläche, die aufgenommen werden kann.</translation>
    </message>
    <message>
        <source>The window is on no screen that was captured.</source>
        <translation>Das Fenster liegt auf keinem der aufgenommenen Bildschirme.</translation>
    </message>
</context>
<context>
    <name>DesktopShortcuts</name>
    <message>
        <source>gsettings did not run: %1</source>
        <translation>gsettings lief nicht: %1</translation>
    </message>
</context>
<context>
    <name>EditablePng</name>
    <message>
        <source>its marks are damaged</source>
        <translation>seine Markierungen sind beschädigt</translation>
    </message>
    <message>
        <source>its marks were made by a newer version of Vistrel</source>
        <translation>seine Markierungen stammen von einer neueren Vistrel-Version</translation>
    </message>
    <message>
        <source>its marks are too large to open</source>
        <translation>seine Markierungen sind zu groß zum Öffnen</translation>
    </message>
</context>
<context>
    <name>GifRecordingEncoder</name>
    <message>
        <source>The recording has already started.</source>
        <translation>Die Aufnahme läuft bereits.</translation>
    </message>
    <message>
        <source>The area to record is empty.</source>
        <translation>Der aufzunehmende Bereich ist leer.</translation>
    </message>
    <message>
        <source>The area is too large for a GIF.</source>
        <translation>Der Bereich ist zu groß für ein GIF.</translation>
    </message>
    <message>
        <source>The recording has not started.</source>
        <translation>Die Aufnahme hat nicht begonnen.</translation>
    </message>
    <message>
        <source>Nothing was recorded.</source>
        <translation>Es wurde nichts aufgenommen.</translation>
    </message>
</context>
<context>
    <name>ImageExport</name>
    <message>
        <source>Saved</source>
        <translation>Gespeichert</translation>
    </message>
    <message>
        <source>Could not save “%1” in %2: %3.</source>
        <translation>„%1“ konnte nicht in %2 gespeichert werden: %3.</translation>
    </message>
    <message>
        <source>PNG image (*.png)</source>
        <translation>PNG-Bild (*.png)</translation>
    </message>
    <message>
        <source>JPEG image (*.jpg *.jpeg)</source>
        <translation>JPEG-Bild (*.jpg *.jpeg)</translation>
    </message>
    <message>
        <source>PDF document (*.pdf)</source>
        <translation>PDF-Dokument (*.pdf)</translation>
    </message>
    <message>
        <source>Editable PNG image (*.png)</source>
        <translation>Bearbeitbares PNG-Bild (*.png)</translation>
    </message>
</context>
<context>
    <name>ImageFiles</name>
    <message>
        <source>the picture could not be written</source>
        <translation>das Bild konnte nicht geschrieben werden</translation>
    </message>
    <message>
        <source>the picture could not be encoded</source>
        <translation>das Bild konnte nicht kodiert werden</translation>
    </message>
</context>
<context>
    <name>PastedPicture</name>
    <message>
        <source>The clipboard&apos;s picture cannot be pasted: %1</source>
        <translation>Das Bild in der Zwischenablage kann nicht eingefügt werden: %1</translation>
    </message>
</context>
<context>
    <name>PictureFile</name>
    <message>
        <source>Picture too large (%1 × %2 pixels): Vistrel opens pictures of up to %3 pixels a side and %4 million pixels</source>
        <translation>Bild zu groß (%1 × %2 Pixel): Vistrel öffnet Bilder mit höchstens %3 Pixeln Seitenlänge und %4 Millionen Pixeln</translation>
    </message>
    <message>
        <source>not a picture Vistrel can read (%1)</source>
        <translation>kein Bild, das Vistrel lesen kann (%1)</translation>
    </message>
    <message>
        <source>the picture is damaged or cannot be read (%1)</source>
        <translation>das Bild ist beschädigt oder kann nicht gelesen werden (%1)</translation>
    </message>
    <message>
        <source>not a regular file</source>
        <translation>keine reguläre Datei</translation>
    </message>
    <message>
        <source>the file is empty</source>
        <translation>die Datei ist leer</translation>
    </message>
    <message>
        <source>a folder, not a file</source>
        <translation>ein Ordner, keine Datei</translation>
    </message>
    <message>
        <source>too large (%1 MB; up to %2 MB)</source>
        <translation>zu groß (%1 MB; höchstens %2 MB)</translation>
    </message>
    <message>
        <source>too large (up to %1 MB)</source>
        <translation>zu groß (höchstens %1 MB)</translation>
    </message>
</context>
<context>
    <name>PortalClient</name>
    <message>
        <source>screenshot</source>
        <translation>Bildschirmfoto</translation>
    </message>
    <message>
        <source>global shortcuts</source>
        <translation>globale Tastenkürzel</translation>
    </message>
    <message>
        <source>This desktop has no %1 portal (%2). Install xdg-desktop-portal and your desktop&apos;s portal backend (xdg-desktop-portal-gnome, -kde or -wlr).</source>
        <translation>Diese Arbeitsumgebung hat kein Portal für %1 (%2). Bitte xdg-desktop-portal und das Portal-Backend der Arbeitsumgebung installieren (xdg-desktop-portal-gnome, -kde oder -wlr).</translation>
    </message>
    <message>
        <source>The desktop portal refused the %1 request: %2</source>
        <translation>Das Desktop-Portal hat die Anfrage für %1 abgelehnt: %2</translation>
    </message>
    <message>
        <source>The desktop did not answer the %1 request within %2 s.</source>
        <translation>Die Arbeitsumgebung hat die Anfrage für %1 nicht innerhalb von %2 s beantwortet.</translation>
    </message>
    <message>
        <source>The desktop could not complete the %1 request.</source>
        <translation>Die Arbeitsumgebung konnte die Anfrage für %1 nicht abschließen.</translation>
    </message>
    <message>
        <source>The desktop&apos;s screenshot is not a local file (&quot;%1&quot;).</source>
        <translation>Das Bildschirmfoto der Arbeitsumgebung ist keine lokale Datei („%1“).</translation>
    </message>
    <message>
        <source>Cannot read the desktop&apos;s screenshot %1: %2</source>
        <translation>Das Bildschirmfoto der Arbeitsumgebung %1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>The desktop answered the colour pick without a colour.</source>
        <translation>Die Arbeitsumgebung hat die Farbwahl ohne Farbe beantwortet.</translation>
    </message>
    <message>
        <source>The desktop opened no global shortcuts session.</source>
        <translation>Die Arbeitsumgebung hat keine Sitzung für globale Tastenkürzel geöffnet.</translation>
    </message>
    <message>
        <source>file chooser</source>
        <translation>Dateiauswahl</translation>
    </message>
    <message>
        <source>The desktop&apos;s file chooser answered with no local file (&quot;%1&quot;).</source>
        <translation>Die Dateiauswahl der Arbeitsumgebung nannte keine lokale Datei (&quot;%1&quot;).</translation>
    </message>
    <message>
        <source>The desktop did not answer the screenshot request within %1 s. If it asked whether Vistrel may take screenshots, answer its question sooner and try again.</source>
        <translation>Der Desktop hat die Bildschirmfoto-Anfrage nicht innerhalb von %1 s beantwortet. Falls er gefragt hat, ob Vistrel Bildschirmfotos aufnehmen darf, beantworten Sie die Frage schneller und versuchen Sie es erneut.</translation>
    </message>
    <message>
        <source>The desktop turned the screenshot request down without asking. Some desktops do this when they cannot save their picture first: KDE Plasma saves it in the folder %1, which must exist.</source>
        <translation>Der Desktop hat die Bildschirmfoto-Anfrage abgelehnt, ohne zu fragen. Manche Desktops tun das, wenn sie ihr Bild nicht zuerst speichern können: KDE Plasma speichert es im Ordner %1, der vorhanden sein muss.</translation>
    </message>
    <message>
        <source>The desktop does not let Vistrel take screenshots: its question &quot;Allow Applications to Take Screenshots?&quot; was answered with Deny. To allow it again, run:

gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore --object-path /org/freedesktop/impl/portal/PermissionStore --method org.freedesktop.impl.portal.PermissionStore.SetPermission screenshot true screenshot &apos;&apos; &quot;[&apos;yes&apos;]&quot;</source>
        <translation>Der Desktop erlaubt Vistrel keine Bildschirmfotos: Seine Frage „Anwendungen erlauben, Bildschirmfotos aufzunehmen?“ wurde mit „Ablehnen“ beantwortet. Um es wieder zu erlauben, führen Sie aus:

gdbus call --session --dest org.freedesktop.impl.portal.PermissionStore --object-path /org/freedesktop/impl/portal/PermissionStore --method org.freedesktop.impl.portal.PermissionStore.SetPermission screenshot true screenshot &apos;&apos; &quot;[&apos;yes&apos;]&quot;</translation>
    </message>
    <message>
        <source>screen recording</source>
        <translation>Bildschirmaufnahme</translation>
    </message>
</context>
<context>
    <name>PortalScreenCast</name>
    <message>
        <source>PipeWire could not start.</source>
        <translation>PipeWire konnte nicht gestartet werden.</translation>
    </message>
    <message>
        <source>Cannot reach the desktop&apos;s PipeWire stream: %1</source>
        <translation>Der PipeWire-Datenstrom des Desktops ist nicht erreichbar: %1</translation>
    </message>
    <message>
        <source>The desktop&apos;s PipeWire stream ended: %1</source>
        <translation>Der PipeWire-Datenstrom des Desktops wurde beendet: %1</translation>
    </message>
    <message>
        <source>PipeWire could not open a stream.</source>
        <translation>PipeWire konnte keinen Datenstrom öffnen.</translation>
    </message>
    <message>
        <source>Cannot connect to the desktop&apos;s PipeWire stream: %1</source>
        <translation>Keine Verbindung zum PipeWire-Datenstrom des Desktops: %1</translation>
    </message>
    <message>
        <source>The desktop&apos;s PipeWire stream failed: %1</source>
        <translation>Der PipeWire-Datenstrom des Desktops ist fehlgeschlagen: %1</translation>
    </message>
    <message>
        <source>The desktop stopped sharing the screen.</source>
        <translation>Der Desktop hat die Bildschirmfreigabe beendet.</translation>
    </message>
    <message>
        <source>The desktop&apos;s stream is not plain video.</source>
        <translation>Der Datenstrom des Desktops ist kein einfaches Video.</translation>
    </message>
    <message>
        <source>The desktop&apos;s stream has pixels Vistrel cannot read.</source>
        <translation>Der Datenstrom des Desktops hat Pixel, die Vistrel nicht lesen kann.</translation>
    </message>
    <message>
        <source>The recorded window changed size.</source>
        <translation>Das aufgenommene Fenster hat seine Größe geändert.</translation>
    </message>
    <message>
        <source>The recorded screen changed size (%1×%2 to %3×%4).</source>
        <translation>Der aufgenommene Bildschirm hat seine Größe geändert (%1×%2 auf %3×%4).</translation>
    </message>
    <message>
        <source>The recorded area lies outside the screen the desktop shares.</source>
        <translation>Der aufgenommene Bereich liegt außerhalb des Bildschirms, den der Desktop freigibt.</translation>
    </message>
    <message>
        <source>This desktop has no screen recording portal (%1). Install xdg-desktop-portal and your desktop&apos;s portal backend (xdg-desktop-portal-gnome, -kde or -wlr).</source>
        <translation>Dieser Desktop hat kein Portal für Bildschirmaufnahmen (%1). Installieren Sie xdg-desktop-portal und das Portal-Backend Ihres Desktops (xdg-desktop-portal-gnome, -kde oder -wlr).</translation>
    </message>
    <message>
        <source>The desktop ended the screen sharing session.</source>
        <translation>Der Desktop hat die Sitzung der Bildschirmfreigabe beendet.</translation>
    </message>
    <message>
        <source>The recording was cancelled: the desktop&apos;s screen sharing was not allowed.</source>
        <translation>Die Aufnahme wurde abgebrochen: Die Bildschirmfreigabe des Desktops wurde nicht erlaubt.</translation>
    </message>
    <message>
        <source>The desktop refused to %1: %2</source>
        <translation>Der Desktop hat abgelehnt, %1: %2</translation>
    </message>
    <message>
        <source>open a screen sharing session</source>
        <translation>eine Sitzung der Bildschirmfreigabe zu öffnen</translation>
    </message>
    <message>
        <source>The desktop opened no screen sharing session.</source>
        <translation>Der Desktop hat keine Sitzung der Bildschirmfreigabe geöffnet.</translation>
    </message>
    <message>
        <source>choose what to share</source>
        <translation>auszuwählen, was freigegeben wird</translation>
    </message>
    <message>
        <source>share the screen</source>
        <translation>den Bildschirm freizugeben</translation>
    </message>
    <message>
        <source>The desktop shared no screen or window.</source>
        <translation>Der Desktop hat weder einen Bildschirm noch ein Fenster freigegeben.</translation>
    </message>
    <message>
        <source>The desktop gave no access to its PipeWire stream: %1</source>
        <translation>Der Desktop hat keinen Zugriff auf seinen PipeWire-Datenstrom gegeben: %1</translation>
    </message>
</context>
<context>
    <name>QtSaveChooser</name>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Folder</source>
        <translation>Ordner</translation>
    </message>
</context>
<context>
    <name>QuickSave</name>
    <message>
        <source>No save folder is set.</source>
        <translation>Es ist kein Speicherordner festgelegt.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Could not encode the picture.</source>
        <translation>Das Bild konnte nicht kodiert werden.</translation>
    </message>
    <message>
        <source>Could not write into %1: %2</source>
        <translation>In %1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Could not save %1: %2</source>
        <translation>%1 konnte nicht gespeichert werden: %2</translation>
    </message>
    <message>
        <source>Too many pictures named %1 in %2.</source>
        <translation>Zu viele Bilder namens %1 in %2.</translation>
    </message>
</context>
<context>
    <name>RecognizedText</name>
    <message>
        <source>No text found</source>
        <translation>Kein Text gefunden</translation>
    </message>
    <message>
        <source>Copied %1 chars</source>
        <translation>%1 Zeichen kopiert</translation>
    </message>
</context>
<context>
    <name>RecordingExport</name>
    <message>
        <source>cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
    <message>
        <source>cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>a recording is saved as .webm, .mp4 or .gif, not as “%1”</source>
        <translation>eine Aufnahme wird als .webm, .mp4 oder .gif gespeichert, nicht als „%1“</translation>
    </message>
    <message>
        <source>%1 is gone</source>
        <translation>%1 ist nicht mehr da</translation>
    </message>
</context>
<context>
    <name>RecordingReader</name>
    <message>
        <source>Cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>%1 holds no video this FFmpeg can play.</source>
        <translation>%1 enthält kein Video, das dieses FFmpeg abspielen kann.</translation>
    </message>
    <message>
        <source>There is not enough memory to play the recording.</source>
        <translation>Es ist nicht genug Speicher frei, um die Aufnahme abzuspielen.</translation>
    </message>
    <message>
        <source>FFmpeg cannot decode %1: %2</source>
        <translation>FFmpeg kann %1 nicht decodieren: %2</translation>
    </message>
    <message>
        <source>%1 holds no frames.</source>
        <translation>%1 enthält keine Bilder.</translation>
    </message>
    <message>
        <source>Recordings are saved as WebM, MP4 or GIF.</source>
        <translation>Aufnahmen werden als WebM, MP4 oder GIF gespeichert.</translation>
    </message>
    <message>
        <source>The part to keep is empty.</source>
        <translation>Der zu behaltende Teil ist leer.</translation>
    </message>
    <message>
        <source>%1 is damaged.</source>
        <translation>%1 ist beschädigt.</translation>
    </message>
</context>
<context>
    <name>Redaction</name>
    <message>
        <source>Redacted %1: %2</source>
        <translation>%1 geschwärzt: %2</translation>
    </message>
</context>
<context>
    <name>SceneArchive</name>
    <message>
        <source>made by a newer version of Vistrel</source>
        <translation>von einer neueren Version von Vistrel erstellt</translation>
    </message>
    <message>
        <source>the capture is missing</source>
        <translation>die Aufnahme fehlt</translation>
    </message>
    <message>
        <source>%1 is damaged: %2</source>
        <translation>%1 ist beschädigt: %2</translation>
    </message>
    <message>
        <source>too many marks (%1; Vistrel opens up to %2)</source>
        <translation>zu viele Markierungen (%1; Vistrel öffnet bis zu %2)</translation>
    </message>
    <message>
        <source>the capture cannot be read: %1</source>
        <translation>die Aufnahme ist nicht lesbar: %1</translation>
    </message>
    <message>
        <source>its pictures are too large together (%1 million pixels; Vistrel opens up to %2 million)</source>
        <translation>seine Bilder sind zusammen zu groß (%1 Millionen Pixel; Vistrel öffnet bis zu %2 Millionen)</translation>
    </message>
    <message>
        <source>a freehand mark has too many points (%1; Vistrel opens up to %2)</source>
        <translation>eine Freihandmarkierung hat zu viele Punkte (%1; Vistrel öffnet bis zu %2)</translation>
    </message>
    <message>
        <source>too many points in its marks (Vistrel opens up to %1)</source>
        <translation>zu viele Punkte in den Markierungen (Vistrel öffnet bis zu %1)</translation>
    </message>
    <message>
        <source>a text is too long (%1 characters; Vistrel opens up to %2)</source>
        <translation>ein Text ist zu lang (%1 Zeichen; Vistrel öffnet bis zu %2)</translation>
    </message>
    <message>
        <source>a text is too wide to show (%1 characters at %2 points)</source>
        <translation>ein Text ist zu breit zum Anzeigen (%1 Zeichen in %2 Punkt)</translation>
    </message>
    <message>
        <source>too many marks of one kind (%1 “%2”; Vistrel opens up to %3)</source>
        <translation>zu viele Markierungen einer Art (%1 „%2“; Vistrel öffnet bis zu %3)</translation>
    </message>
    <message>
        <source>its marks would take too long to draw</source>
        <translation>das Zeichnen seiner Markierungen würde zu lange dauern</translation>
    </message>
    <message>
        <source>cannot read %1: %2</source>
        <translation>%1 kann nicht gelesen werden: %2</translation>
    </message>
</context>
<context>
    <name>SecretFinder</name>
    <message>
        <source>Private keys</source>
        <translation>Private Schlüssel</translation>
    </message>
    <message>
        <source>API keys and tokens</source>
        <translation>API-Schlüssel und Tokens</translation>
    </message>
    <message>
        <source>Passwords after a label (password=, token:)</source>
        <translation>Passwörter nach einer Bezeichnung (password=, token:)</translation>
    </message>
    <message>
        <source>E-mail addresses</source>
        <translation>E-Mail-Adressen</translation>
    </message>
    <message>
        <source>Payment card numbers</source>
        <translation>Kartennummern</translation>
    </message>
    <message>
        <source>IBANs</source>
        <translation>IBANs</translation>
    </message>
    <message>
        <source>Phone numbers</source>
        <translation>Telefonnummern</translation>
    </message>
    <message>
        <source>IP addresses</source>
        <translation>IP-Adressen</translation>
    </message>
    <message>
        <source>My own words</source>
        <translation>Meine eigenen Wörter</translation>
    </message>
    <message>
        <source>Long random-looking strings</source>
        <translation>Lange, zufällig wirkende Zeichenfolgen</translation>
    </message>
    <message>
        <source>1 private key</source>
        <translation>1 privater Schlüssel</translation>
    </message>
    <message>
        <source>%1 private keys</source>
        <translation>%1 private Schlüssel</translation>
    </message>
    <message>
        <source>1 API key</source>
        <translation>1 API-Schlüssel</translation>
    </message>
    <message>
        <source>%1 API keys</source>
        <translation>%1 API-Schlüssel</translation>
    </message>
    <message>
        <source>1 password</source>
        <translation>1 Passwort</translation>
    </message>
    <message>
        <source>%1 passwords</source>
        <translation>%1 Passwörter</translation>
    </message>
    <message>
        <source>1 e-mail address</source>
        <translation>1 E-Mail-Adresse</translation>
    </message>
    <message>
        <source>%1 e-mail addresses</source>
        <translation>%1 E-Mail-Adressen</translation>
    </message>
    <message>
        <source>1 card number</source>
        <translation>1 Kartennummer</translation>
    </message>
    <message>
        <source>%1 card numbers</source>
        <translation>%1 Kartennummern</translation>
    </message>
    <message>
        <source>1 IBAN</source>
        <translation>1 IBAN</translation>
    </message>
    <message>
        <source>%1 IBANs</source>
        <translation>%1 IBANs</translation>
    </message>
    <message>
        <source>1 phone number</source>
        <translation>1 Telefonnummer</translation>
    </message>
    <message>
        <source>%1 phone numbers</source>
        <translation>%1 Telefonnummern</translation>
    </message>
    <message>
        <source>1 IP address</source>
        <translation>1 IP-Adresse</translation>
    </message>
    <message>
        <source>%1 IP addresses</source>
        <translation>%1 IP-Adressen</translation>
    </message>
    <message>
        <source>1 of your words</source>
        <translation>1 Ihrer Wörter</translation>
    </message>
    <message>
        <source>%1 of your words</source>
        <translation>%1 Ihrer Wörter</translation>
    </message>
    <message>
        <source>1 random string</source>
        <translation>1 zufällige Zeichenfolge</translation>
    </message>
    <message>
        <source>%1 random strings</source>
        <translation>%1 zufällige Zeichenfolgen</translation>
    </message>
</context>
<context>
    <name>SettingsReader</name>
    <message>
        <source>&quot;%1&quot; is not a hot key Vistrel can use</source>
        <translation>„%1“ ist kein Tastenkürzel, das Vistrel verwenden kann</translation>
    </message>
    <message>
        <source>%1 is given to more than one action</source>
        <translation>%1 ist mehr als einer Aktion zugewiesen</translation>
    </message>
    <message>
        <source>%1 = &quot;%2&quot; is neither on nor off</source>
        <translation>%1 = &quot;%2&quot; ist weder ein noch aus</translation>
    </message>
    <message>
        <source>%1 = &quot;%2&quot; is not a whole number from %3 to %4</source>
        <translation>%1 = &quot;%2&quot; ist keine ganze Zahl von %3 bis %4</translation>
    </message>
    <message>
        <source>%1 = &quot;%2&quot; is not one of %3</source>
        <translation>%1 = „%2“ ist nicht eines von %3</translation>
    </message>
</context>
<context>
    <name>ShareService</name>
    <message>
        <source>Quick-share isn&apos;t set up yet</source>
        <translation>Schnelles Teilen ist noch nicht eingerichtet</translation>
    </message>
    <message>
        <source>Share failed — offline?</source>
        <translation>Teilen fehlgeschlagen – offline?</translation>
    </message>
    <message>
        <source>Share failed — the server took too long</source>
        <translation>Teilen fehlgeschlagen – der Server hat zu lange gebraucht</translation>
    </message>
    <message>
        <source>Share cancelled</source>
        <translation>Teilen abgebrochen</translation>
    </message>
    <message>
        <source>Share failed</source>
        <translation>Teilen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Link copied · %1</source>
        <translation>Link kopiert · %1</translation>
    </message>
    <message>
        <source>Sharing… (click to cancel)</source>
        <translation>Wird geteilt … (Klicken zum Abbrechen)</translation>
    </message>
    <message>
        <source>Share failed — the keyring did not give the token: %1</source>
        <translation>Teilen fehlgeschlagen – der Schlüsselbund hat das Token nicht herausgegeben: %1</translation>
    </message>
    <message>
        <source>Share failed — %1</source>
        <translation>Teilen fehlgeschlagen – %1</translation>
    </message>
    <message>
        <source>Waiting for the keyring… (click to cancel)</source>
        <translation>Warte auf den Schlüsselbund … (zum Abbrechen klicken)</translation>
    </message>
    <message>
        <source>Share failed — the keyring did not answer</source>
        <translation>Teilen fehlgeschlagen – der Schlüsselbund antwortet nicht</translation>
    </message>
</context>
<context>
    <name>ShareSettings</name>
    <message>
        <source>Sharing needs an https:// address: http:// sends the token in the clear (only http://localhost is allowed)</source>
        <translation>Teilen braucht eine https://-Adresse: http:// sendet das Token im Klartext (nur http://localhost ist erlaubt)</translation>
    </message>
    <message>
        <source>Enter the whole address, starting with https://</source>
        <translation>Geben Sie die ganze Adresse ein, beginnend mit https://</translation>
    </message>
    <message>
        <source>The address must end in /api/upload</source>
        <translation>Die Adresse muss auf /api/upload enden</translation>
    </message>
    <message>
        <source>This address cannot be used for uploads</source>
        <translation>An diese Adresse kann nicht hochgeladen werden</translation>
    </message>
    <message>
        <source>Could not write %1.</source>
        <translation>%1 konnte nicht geschrieben werden.</translation>
    </message>
    <message>
        <source>no keyring is running</source>
        <translation>es läuft kein Schlüsselbund</translation>
    </message>
    <message>
        <source>The token cannot hold line breaks or other control characters</source>
        <translation>Das Token darf keine Zeilenumbrüche oder anderen Steuerzeichen enthalten</translation>
    </message>
    <message>
        <source>The token is empty</source>
        <translation>Das Token ist leer</translation>
    </message>
    <message>
        <source>Vistrel upload token</source>
        <translation>Vistrel-Upload-Token</translation>
    </message>
    <message>
        <source>Could not remove %1.</source>
        <translation>%1 konnte nicht entfernt werden.</translation>
    </message>
    <message>
        <source>VISTREL_UPLOAD_URL is set and overrides this</source>
        <translation>VISTREL_UPLOAD_URL ist gesetzt und hat Vorrang</translation>
    </message>
    <message>
        <source>VISTREL_UPLOAD_TOKEN is set and overrides this</source>
        <translation>VISTREL_UPLOAD_TOKEN ist gesetzt und hat Vorrang</translation>
    </message>
    <message>
        <source>Stored in the keyring</source>
        <translation>Im Schlüsselbund gespeichert</translation>
    </message>
    <message>
        <source>Stored in %1 (only you can read it)</source>
        <translation>In %1 gespeichert (nur Sie können es lesen)</translation>
    </message>
    <message>
        <source>Not set; the keyring will keep it</source>
        <translation>Nicht gesetzt; der Schlüsselbund wird es aufbewahren</translation>
    </message>
    <message>
        <source>Not set; it will be kept in %1 (only you can read it)</source>
        <translation>Nicht gesetzt; es wird in %1 aufbewahrt (nur Sie können es lesen)</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
    <message>
        <source>Could not make %1 private.</source>
        <translation>%1 konnte nicht privat gemacht werden.</translation>
    </message>
</context>
<context>
    <name>ShortcutAdvice</name>
    <message>
        <source>Vistrel: Capture Area</source>
        <translation>Vistrel: Bereich aufnehmen</translation>
    </message>
    <message>
        <source>Vistrel: Capture Full Screen</source>
        <translation>Vistrel: Ganzen Bildschirm aufnehmen</translation>
    </message>
    <message>
        <source>Vistrel: Extract Text</source>
        <translation>Vistrel: Text erkennen</translation>
    </message>
    <message>
        <source>In Settings → Keyboard → View and Customise Shortcuts → Custom Shortcuts, add one shortcut for each command:

Name &quot;Vistrel: Capture Area&quot;, command &quot;%1 area&quot;, shortcut Ctrl+Shift+2
Name &quot;Vistrel: Capture Full Screen&quot;, command &quot;%1 full&quot;, shortcut Ctrl+Shift+1
Name &quot;Vistrel: Extract Text&quot;, command &quot;%1 ocr&quot;, shortcut Ctrl+Shift+9</source>
        <translation>Fügen Sie unter Einstellungen → Tastatur → Tastenkürzel anzeigen und anpassen → Eigene Tastenkürzel für jeden Befehl ein Tastenkürzel hinzu:

Name „Vistrel: Bereich aufnehmen“, Befehl „%1 area“, Tastenkürzel Strg+Umschalt+2
Name „Vistrel: Ganzen Bildschirm aufnehmen“, Befehl „%1 full“, Tastenkürzel Strg+Umschalt+1
Name „Vistrel: Text erkennen“, Befehl „%1 ocr“, Tastenkürzel Strg+Umschalt+9</translation>
    </message>
    <message>
        <source>In System Settings → Shortcuts, choose Add New → Command or Script for each command, then give it its shortcut:

&quot;%1 area&quot;: Ctrl+Shift+2
&quot;%1 full&quot;: Ctrl+Shift+1
&quot;%1 ocr&quot;: Ctrl+Shift+9</source>
        <translation>Wählen Sie in den Systemeinstellungen → Kurzbefehle für jeden Befehl Neu hinzufügen → Befehl oder Skript und geben Sie ihm sein Tastenkürzel:

„%1 area“: Strg+Umschalt+2
„%1 full“: Strg+Umschalt+1
„%1 ocr“: Strg+Umschalt+9</translation>
    </message>
    <message>
        <source>Add these lines to ~/.config/sway/config, then run &quot;swaymsg reload&quot;:

bindsym Ctrl+Shift+2 exec %1 area
bindsym Ctrl+Shift+1 exec %1 full
bindsym Ctrl+Shift+9 exec %1 ocr</source>
        <translation>Fügen Sie diese Zeilen zu ~/.config/sway/config hinzu und führen Sie dann „swaymsg reload“ aus:

bindsym Ctrl+Shift+2 exec %1 area
bindsym Ctrl+Shift+1 exec %1 full
bindsym Ctrl+Shift+9 exec %1 ocr</translation>
    </message>
    <message>
        <source>Bind your desktop&apos;s own keyboard shortcuts to these commands:

Ctrl+Shift+2: %1 area
Ctrl+Shift+1: %1 full
Ctrl+Shift+9: %1 ocr</source>
        <translation>Belegen Sie die eigenen Tastenkürzel Ihres Desktops mit diesen Befehlen:

Strg+Umschalt+2: %1 area
Strg+Umschalt+1: %1 full
Strg+Umschalt+9: %1 ocr</translation>
    </message>
    <message>
        <source>Vistrel&apos;s hot keys do nothing here. %1

%2</source>
        <translation>Vistrels Tastenkürzel wirken hier nicht. %1

%2</translation>
    </message>
    <message>
        <source>Vistrel — Hot Keys</source>
        <translation>Vistrel — Tastenkürzel</translation>
    </message>
    <message>
        <source>GNOME does not bind shortcuts for apps, so Vistrel&apos;s hot keys do nothing yet. Add them to GNOME&apos;s own keyboard shortcuts now?

Ctrl+Shift+2: Capture Area
Ctrl+Shift+1: Capture Full Screen
Ctrl+Shift+9: Extract Text

They appear in Settings → Keyboard → Custom Shortcuts, where you can change or remove them.</source>
        <translation>GNOME belegt keine Tastenkürzel für Anwendungen, daher wirken Vistrels Tastenkürzel noch nicht. Jetzt zu GNOMEs eigenen Tastenkürzeln hinzufügen?

Strg+Umschalt+2: Bereich aufnehmen
Strg+Umschalt+1: Ganzen Bildschirm aufnehmen
Strg+Umschalt+9: Text erkennen

Sie erscheinen unter Einstellungen → Tastatur → Eigene Tastenkürzel, wo Sie sie ändern oder entfernen können.</translation>
    </message>
    <message>
        <source>Add Shortcuts</source>
        <translation>Tastenkürzel hinzufügen</translation>
    </message>
    <message>
        <source>Not Now</source>
        <translation>Nicht jetzt</translation>
    </message>
    <message>
        <source>GNOME&apos;s shortcuts could not be changed: %1

%2</source>
        <translation>GNOMEs Tastenkürzel konnten nicht geändert werden: %1

%2</translation>
    </message>
</context>
<context>
    <name>SideWindow</name>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
<context>
    <name>TesseractEngine</name>
    <message>
        <source>Text recognition could not start its engine (%1). Reinstall Vistrel, with the package libtesseract5.</source>
        <translation>Die Texterkennung konnte ihre Engine nicht starten (%1). Bitte Vistrel mit dem Paket libtesseract5 neu installieren.</translation>
    </message>
    <message>
        <source>Text recognition needs the English model (eng), which could not be loaded. Install the package tesseract-ocr-eng.</source>
        <translation>Die Texterkennung benötigt das englische Modell (eng), das nicht geladen werden konnte. Bitte das Paket tesseract-ocr-eng installieren.</translation>
    </message>
    <message>
        <source>Text recognition needs the models &quot;%1&quot;, which could not be loaded. Install the packages %2.</source>
        <translation>Die Texterkennung benötigt die Modelle „%1“, die nicht geladen werden konnten. Bitte die Pakete %2 installieren.</translation>
    </message>
    <message>
        <source>Text recognition stopped unexpectedly.</source>
        <translation>Die Texterkennung wurde unerwartet beendet.</translation>
    </message>
    <message>
        <source>Text recognition failed.</source>
        <translation>Die Texterkennung ist fehlgeschlagen.</translation>
    </message>
</context>
<context>
    <name>ToolKind</name>
    <message>
        <source>Select / Move (V)</source>
        <translation>Auswählen / Verschieben (V)</translation>
    </message>
    <message>
        <source>Arrow (A)</source>
        <translation>Pfeil (A)</translation>
    </message>
    <message>
        <source>Line (L)</source>
        <translation>Linie (L)</translation>
    </message>
    <message>
        <source>Rectangle (R)</source>
        <translation>Rechteck (R)</translation>
    </message>
    <message>
        <source>Ellipse (O)</source>
        <translation>Ellipse (O)</translation>
    </message>
    <message>
        <source>Pen (P)</source>
        <translation>Stift (P)</translation>
    </message>
    <message>
        <source>Highlight (H)</source>
        <translation>Textmarker (H)</translation>
    </message>
    <message>
        <source>Text (T)</source>
        <translation>Text (T)</translation>
    </message>
    <message>
        <source>Numbered Step (S)</source>
        <translation>Nummerierter Schritt (S)</translation>
    </message>
    <message>
        <source>Crop (C)</source>
        <translation>Zuschneiden (C)</translation>
    </message>
    <message>
        <source>Blur / Pixelate (B)</source>
        <translation>Weichzeichnen / Verpixeln (B)</translation>
    </message>
    <message>
        <source>Redact (D)</source>
        <translation>Schwärzen (D)</translation>
    </message>
</context>
<context>
    <name>UploadClient</name>
    <message>
        <source>the server refused the connection</source>
        <translation>der Server hat die Verbindung abgelehnt</translation>
    </message>
    <message>
        <source>the server closed the connection before it answered</source>
        <translation>der Server hat die Verbindung vor seiner Antwort geschlossen</translation>
    </message>
    <message>
        <source>the server&apos;s name was not found — offline?</source>
        <translation>der Name des Servers wurde nicht gefunden – offline?</translation>
    </message>
    <message>
        <source>the secure connection failed: %1</source>
        <translation>die sichere Verbindung ist fehlgeschlagen: %1</translation>
    </message>
</context>
<context>
    <name>VideoEncoder</name>
    <message>
        <source>This FFmpeg has no H.264 encoder (libx264).</source>
        <translation>Diesem FFmpeg fehlt ein H.264-Encoder (libx264).</translation>
    </message>
    <message>
        <source>This FFmpeg has no VP9 or VP8 encoder (libvpx).</source>
        <translation>Diesem FFmpeg fehlt ein VP9- oder VP8-Encoder (libvpx).</translation>
    </message>
    <message>
        <source>The recording has already started.</source>
        <translation>Die Aufnahme läuft bereits.</translation>
    </message>
    <message>
        <source>The area to record is empty.</source>
        <translation>Der aufzunehmende Bereich ist leer.</translation>
    </message>
    <message>
        <source>FFmpeg cannot write %1 files: %2</source>
        <translation>FFmpeg kann keine %1-Dateien schreiben: %2</translation>
    </message>
    <message>
        <source>There is not enough memory to record.</source>
        <translation>Es ist nicht genug Speicher frei, um aufzunehmen.</translation>
    </message>
    <message>
        <source>FFmpeg could not start its %1 encoder: %2</source>
        <translation>FFmpeg konnte seinen %1-Encoder nicht starten: %2</translation>
    </message>
    <message>
        <source>FFmpeg cannot convert the frames for its %1 encoder.</source>
        <translation>FFmpeg kann die Bilder nicht für seinen %1-Encoder umwandeln.</translation>
    </message>
    <message>
        <source>The recording has not started.</source>
        <translation>Die Aufnahme hat nicht begonnen.</translation>
    </message>
    <message>
        <source>The encoder failed: %1</source>
        <translation>Der Encoder ist gescheitert: %1</translation>
    </message>
    <message>
        <source>Nothing was recorded.</source>
        <translation>Es wurde nichts aufgenommen.</translation>
    </message>
    <message>
        <source>The disk is full.</source>
        <translation>Der Datenträger ist voll.</translation>
    </message>
    <message>
        <source>Cannot write %1: %2</source>
        <translation>%1 kann nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>WaylandDesktop</name>
    <message>
        <source>Window capture needs to know where windows are, which a Wayland desktop does not tell apps. Use Capture Area instead.</source>
        <translation>Für die Fensteraufnahme muss bekannt sein, wo die Fenster liegen, und das verrät eine Wayland-Arbeitsumgebung Anwendungen nicht. Stattdessen „Bereich aufnehmen“ verwenden.</translation>
    </message>
    <message>
        <source>Scrolling capture needs to scroll another app&apos;s window, which a Wayland desktop does not let apps do. Capture each part as an area and put them on one board with Add instead.</source>
        <translation>Für die Aufnahme mit Bildlauf muss das Fenster einer anderen Anwendung gescrollt werden, und das erlaubt eine Wayland-Arbeitsumgebung Anwendungen nicht. Stattdessen jeden Teil als Bereich aufnehmen und die Teile mit „Hinzufügen“ auf einer Tafel zusammenstellen.</translation>
    </message>
    <message>
        <source>The desktop&apos;s screenshot does not show this display.</source>
        <translation>Das Bildschirmfoto der Arbeitsumgebung zeigt diesen Bildschirm nicht.</translation>
    </message>
    <message>
        <source>The desktop offers no global shortcuts to apps.</source>
        <translation>Der Desktop bietet Anwendungen keine globalen Tastenkürzel an.</translation>
    </message>
    <message>
        <source>The desktop accepted Vistrel&apos;s shortcuts but bound %1 of %2 of them.</source>
        <translation>Der Desktop hat Vistrels Tastenkürzel angenommen, aber nur %1 von %2 belegt.</translation>
    </message>
</context>
<context>
    <name>X11FrameSource</name>
    <message>
        <source>Vistrel cannot open the X display to record it.</source>
        <translation>Vistrel kann die X-Anzeige nicht zum Aufzeichnen öffnen.</translation>
    </message>
    <message>
        <source>Vistrel cannot record this screen&apos;s pixel format (depth %1, %2 bits per pixel).</source>
        <translation>Vistrel kann das Pixelformat dieses Bildschirms nicht aufzeichnen (Farbtiefe %1, %2 Bit pro Pixel).</translation>
    </message>
    <message>
        <source>The area to record lies outside the screen.</source>
        <translation>Der aufzuzeichnende Bereich liegt außerhalb des Bildschirms.</translation>
    </message>
    <message>
        <source>The connection to the X server was lost.</source>
        <translation>Die Verbindung zum X-Server ist abgebrochen.</translation>
    </message>
    <message>
        <source>The display changed size while recording.</source>
        <translation>Die Größe des Bildschirms hat sich während der Aufzeichnung geändert.</translation>
    </message>
    <message>
        <source>The X server refused to hand over the screen (error %1).</source>
        <translation>Der X-Server hat die Herausgabe des Bildschirms verweigert (Fehler %1).</translation>
    </message>
    <message>
        <source>There is not enough memory to record this area.</source>
        <translation>Es ist nicht genug Speicher frei, um diesen Bereich aufzuzeichnen.</translation>
    </message>
    <message>
        <source>The X server sent a short picture.</source>
        <translation>Der X-Server hat ein unvollständiges Bild gesendet.</translation>
    </message>
</context>
<context>
    <name>X11ScreenSource</name>
    <message>
        <source>No connection to the X server.</source>
        <translation>Keine Verbindung zum X-Server.</translation>
    </message>
    <message>
        <source>Vistrel cannot read this screen&apos;s pixel format (depth %1, %2 bits per pixel).</source>
        <translation>Vistrel kann das Pixelformat dieses Bildschirms nicht lesen (Farbtiefe %1, %2 Bit pro Pixel).</translation>
    </message>
    <message>
        <source>The X server did not describe its screen.</source>
        <translation>Der X-Server hat seinen Bildschirm nicht beschrieben.</translation>
    </message>
    <message>
        <source>The area to capture lies outside the screen.</source>
        <translation>Der aufzunehmende Bereich liegt außerhalb des Bildschirms.</translation>
    </message>
    <message>
        <source>The X server refused to hand over the screen (error %1).</source>
        <translation>Der X-Server hat die Herausgabe des Bildschirms verweigert (Fehler %1).</translation>
    </message>
    <message>
        <source>The X server sent a short picture.</source>
        <translation>Der X-Server hat ein unvollständiges Bild gesendet.</translation>
    </message>
</context>
<context>
    <name>main</name>
    <message>
        <source>Capture an area</source>
        <translation>Einen Bereich aufnehmen</translation>
    </message>
    <message>
        <source>Capture the full screen</source>
        <translation>Den ganzen Bildschirm aufnehmen</translation>
    </message>
    <message>
        <source>Copy the text of an area</source>
        <translation>Den Text eines Bereichs kopieren</translation>
    </message>
    <message>
        <source>Scrolling capture</source>
        <translation>Aufnahme mit Bildlauf</translation>
    </message>
    <message>
        <source>The desktop is asking whether Vistrel may take screenshots: answer its question.</source>
        <translation>Der Desktop fragt, ob Vistrel Bildschirmfotos aufnehmen darf: Beantworten Sie seine Frage.</translation>
    </message>
    <message>
        <source>Record the screen</source>
        <translation>Den Bildschirm aufzeichnen</translation>
    </message>
</context>
<context>
    <name>vistrel::AddSessionController</name>
    <message>
        <source>Add to board</source>
        <translation>Zur Tafel hinzufügen</translation>
    </message>
    <message>
        <source>Capture a region from any page</source>
        <translation>Einen Bereich von einer beliebigen Seite aufnehmen</translation>
    </message>
    <message numerus="yes">
        <source>%n added · capture more, or Done</source>
        <translation>
            <numerusform>%n hinzugefügt · weitere aufnehmen oder „Fertig“</numerusform>
            <numerusform>%n hinzugefügt · weitere aufnehmen oder „Fertig“</numerusform>
        </translation>
    </message>
    <message>
        <source>Capture Region</source>
        <translation>Bereich aufnehmen</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
</context>
<context>
    <name>vistrel::AnnotationCanvas</name>
    <message>
        <source>No picture on the clipboard</source>
        <translation>Kein Bild in der Zwischenablage</translation>
    </message>
    <message>
        <source>Its marks cannot be read (%1); pasted as a picture</source>
        <translation>Die Markierungen sind nicht lesbar (%1); als Bild eingefügt</translation>
    </message>
    <message>
        <source>Click or press Return to write a caption; Escape closes</source>
        <translation>Klicken oder Eingabetaste drücken, um eine Beschriftung zu schreiben; Escape schließt</translation>
    </message>
    <message>
        <source>This capture holds as many marks as Vistrel can open again; the last one was not kept</source>
        <translation>Diese Aufnahme enthält so viele Markierungen, wie Vistrel wieder öffnen kann; die letzte wurde nicht behalten</translation>
    </message>
</context>
<context>
    <name>vistrel::AppShell</name>
    <message>
        <source>Some hot keys in the settings were not used</source>
        <translation>Einige Tastenkürzel aus den Einstellungen wurden nicht verwendet</translation>
    </message>
    <message>
        <source>%1 (%2). Their default keys are used instead; set them again in Preferences.</source>
        <translation>%1 (%2). Stattdessen gelten ihre Standardtasten; sie lassen sich in den Einstellungen neu festlegen.</translation>
    </message>
    <message>
        <source>Capture Area</source>
        <translation>Bereich aufnehmen</translation>
    </message>
    <message>
        <source>Capture Full Screen</source>
        <translation>Ganzen Bildschirm aufnehmen</translation>
    </message>
    <message>
        <source>Scrolling Capture</source>
        <translation>Aufnahme mit Bildlauf</translation>
    </message>
    <message>
        <source>Capture Window</source>
        <translation>Fenster aufnehmen</translation>
    </message>
    <message>
        <source>Extract Text (OCR)</source>
        <translation>Text erkennen (OCR)</translation>
    </message>
    <message>
        <source>Pick Color</source>
        <translation>Farbe vom Bildschirm wählen</translation>
    </message>
    <message>
        <source>Preferences…</source>
        <translation>Einstellungen …</translation>
    </message>
    <message>
        <source>Quit Vistrel</source>
        <translation>Vistrel beenden</translation>
    </message>
    <message>
        <source>%1 area · %2 full · %3 OCR</source>
        <translation>%1 Bereich · %2 Vollbild · %3 OCR</translation>
    </message>
    <message>
        <source>%1 cannot be a hot key: add Ctrl, Alt or Super.</source>
        <translation>%1 kann kein Tastenkürzel sein: Strg, Alt oder Super hinzunehmen.</translation>
    </message>
    <message>
        <source>%1 is already the hot key of %2.</source>
        <translation>%1 ist bereits das Tastenkürzel für „%2“.</translation>
    </message>
    <message>
        <source>%1 is held by another program (or no key gives it on this keyboard); choose another combination.</source>
        <translation>%1 ist von einem anderen Programm belegt (oder auf dieser Tastatur nicht erreichbar); bitte eine andere Kombination wählen.</translation>
    </message>
    <message>
        <source>cannot open %1: %2</source>
        <translation>%1 kann nicht geöffnet werden: %2</translation>
    </message>
    <message>
        <source>An editor has marks that are not saved.</source>
        <translation>Ein Editor enthält Markierungen, die nicht gespeichert sind.</translation>
    </message>
    <message numerus="yes">
        <source>%n editors have marks that are not saved.</source>
        <translation>
            <numerusform>%n Editor enthält Markierungen, die nicht gespeichert sind.</numerusform>
            <numerusform>%n Editoren enthalten Markierungen, die nicht gespeichert sind.</numerusform>
        </translation>
    </message>
    <message>
        <source>Keep them for the next start, or discard them and quit?</source>
        <translation>Für den nächsten Start aufbewahren oder verwerfen und beenden?</translation>
    </message>
    <message>
        <source>&amp;Keep and Quit</source>
        <translation>&amp;Behalten und beenden</translation>
    </message>
    <message>
        <source>&amp;Discard</source>
        <translation>&amp;Verwerfen</translation>
    </message>
    <message>
        <source>Recent Captures</source>
        <translation>Letzte Aufnahmen</translation>
    </message>
    <message>
        <source>Show History…</source>
        <translation>Verlauf anzeigen …</translation>
    </message>
    <message>
        <source>History is off (Preferences)</source>
        <translation>Verlauf ist aus (Einstellungen)</translation>
    </message>
    <message>
        <source>No captures yet</source>
        <translation>Noch keine Aufnahmen</translation>
    </message>
    <message>
        <source>the history holds no capture</source>
        <translation>der Verlauf enthält keine Aufnahme</translation>
    </message>
    <message>
        <source>“%1” opens as a plain picture: %2.</source>
        <translation>„%1“ wird als einfaches Bild geöffnet: %2.</translation>
    </message>
    <message>
        <source>Vistrel cannot keep the unsaved marks for the next start: %1</source>
        <translation>Vistrel kann die ungespeicherten Markierungen nicht für den nächsten Start aufbewahren: %1</translation>
    </message>
    <message>
        <source>Save them somewhere else, or cancel and go on working?</source>
        <translation>Woanders speichern oder abbrechen und weiterarbeiten?</translation>
    </message>
    <message>
        <source>&amp;Save…</source>
        <translation>&amp;Speichern …</translation>
    </message>
    <message>
        <source>Some settings were not understood</source>
        <translation>Einige Einstellungen wurden nicht verstanden</translation>
    </message>
    <message>
        <source>%1 (%2). Their defaults are used instead; set them again in Preferences.</source>
        <translation>%1 (%2). Stattdessen gelten ihre Standardwerte; sie lassen sich in den Einstellungen neu festlegen.</translation>
    </message>
    <message>
        <source>Record Screen</source>
        <translation>Bildschirm aufzeichnen</translation>
    </message>
    <message>
        <source>Stop Recording</source>
        <translation>Aufzeichnung beenden</translation>
    </message>
    <message>
        <source>%1 · Recording</source>
        <comment>a recording in Recent Captures</comment>
        <translation>%1 · Aufnahme</translation>
    </message>
</context>
<context>
    <name>vistrel::BeautifyWindowController</name>
    <message>
        <source>Padding</source>
        <translation>Rand</translation>
    </message>
    <message>
        <source>Radius</source>
        <translation>Radius</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>Vistrel — Beautify</source>
        <translation>Vistrel — Verschönern</translation>
    </message>
</context>
<context>
    <name>vistrel::CanvasModel</name>
    <message>
        <source>Type…</source>
        <translation>Text eingeben …</translation>
    </message>
    <message>
        <source>Caption for step %1…</source>
        <translation>Beschriftung für Schritt %1 …</translation>
    </message>
</context>
<context>
    <name>vistrel::CaptureFlow</name>
    <message>
        <source>Copied %1</source>
        <translation>%1 kopiert</translation>
    </message>
    <message>
        <source>Vistrel — Colour</source>
        <translation>Vistrel — Farbe</translation>
    </message>
    <message>
        <source>The desktop did not let Vistrel put %1 on the clipboard while another window was in front. Copy it now?</source>
        <translation>Der Desktop hat Vistrel %1 nicht in die Zwischenablage legen lassen, während ein anderes Fenster vorne war. Jetzt kopieren?</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Copied to clipboard</source>
        <translation>In die Zwischenablage kopiert</translation>
    </message>
    <message>
        <source>Copied %1 chars of text</source>
        <translation>%1 Zeichen Text kopiert</translation>
    </message>
</context>
<context>
    <name>vistrel::CompareWindowController</name>
    <message>
        <source>Vistrel — Compare</source>
        <translation>Vistrel — Vergleich</translation>
    </message>
    <message>
        <source>Drag the divider · before ⟷ after</source>
        <translation>Trennlinie ziehen · vorher ⟷ nachher</translation>
    </message>
    <message>
        <source>Export GIF</source>
        <translation>Als GIF exportieren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Copied</source>
        <translation>Kopiert</translation>
    </message>
    <message>
        <source>GIF image (*.gif)</source>
        <translation>GIF-Bild (*.gif)</translation>
    </message>
    <message>
        <source>GIF saved</source>
        <translation>GIF gespeichert</translation>
    </message>
</context>
<context>
    <name>vistrel::EditorExport</name>
    <message>
        <source>Copied PDF</source>
        <translation>PDF kopiert</translation>
    </message>
    <message>
        <source>Copied to clipboard</source>
        <translation>In die Zwischenablage kopiert</translation>
    </message>
    <message>
        <source>Uploading…</source>
        <translation>Wird hochgeladen …</translation>
    </message>
</context>
<context>
    <name>vistrel::EditorQuestions</name>
    <message>
        <source>Vistrel — Unsaved Marks</source>
        <translation>Vistrel — Nicht gespeicherte Markierungen</translation>
    </message>
    <message>
        <source>Keep the marks on this capture?</source>
        <translation>Die Markierungen auf dieser Aufnahme behalten?</translation>
    </message>
    <message>
        <source>They are lost if you close without saving or copying.</source>
        <translation>Ohne Speichern oder Kopieren gehen sie beim Schließen verloren.</translation>
    </message>
    <message>
        <source>&amp;Save…</source>
        <translation>&amp;Speichern …</translation>
    </message>
    <message>
        <source>&amp;Copy and Close</source>
        <translation>&amp;Kopieren und schließen</translation>
    </message>
    <message>
        <source>&amp;Discard</source>
        <translation>&amp;Verwerfen</translation>
    </message>
    <message>
        <source>Vistrel — Picture Not Checked</source>
        <translation>Vistrel — Bild nicht geprüft</translation>
    </message>
    <message>
        <source>The picture could not be checked for secrets. %1</source>
        <translation>Das Bild konnte nicht auf Geheimnisse geprüft werden. %1</translation>
    </message>
    <message>
        <source>Share Anyway</source>
        <translation>Trotzdem teilen</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Vistrel — Secrets in the Picture</source>
        <translation>Vistrel — Geheimnisse im Bild</translation>
    </message>
    <message>
        <source>The picture shows %1 that no redaction covers.</source>
        <translation>Das Bild zeigt %1, die keine Schwärzung verdeckt.</translation>
    </message>
    <message>
        <source>Redact and Share</source>
        <translation>Schwärzen und teilen</translation>
    </message>
</context>
<context>
    <name>vistrel::EditorSecrets</name>
    <message>
        <source>Text recognition is not available.</source>
        <translation>Die Texterkennung ist nicht verfügbar.</translation>
    </message>
    <message>
        <source>Looking for secrets… Escape stops.</source>
        <translation>Suche nach Geheimnissen … Escape bricht ab.</translation>
    </message>
    <message>
        <source>No uncovered secrets found</source>
        <translation>Keine unverdeckten Geheimnisse gefunden</translation>
    </message>
</context>
<context>
    <name>vistrel::EditorSessions</name>
    <message>
        <source>Vistrel — Kept Marks</source>
        <translation>Vistrel — Aufbewahrte Markierungen</translation>
    </message>
    <message>
        <source>Vistrel kept the unsaved marks of a capture when it last quit.</source>
        <translation>Vistrel hat beim letzten Beenden die nicht gespeicherten Markierungen einer Aufnahme aufbewahrt.</translation>
    </message>
    <message numerus="yes">
        <source>Vistrel kept the unsaved marks of %n captures when it last quit.</source>
        <translation>
            <numerusform>Vistrel hat beim letzten Beenden die nicht gespeicherten Markierungen von %n Aufnahme aufbewahrt.</numerusform>
            <numerusform>Vistrel hat beim letzten Beenden die nicht gespeicherten Markierungen von %n Aufnahmen aufbewahrt.</numerusform>
        </translation>
    </message>
    <message>
        <source>Reopen them in the editor?</source>
        <translation>Im Editor wieder öffnen?</translation>
    </message>
    <message>
        <source>&amp;Reopen</source>
        <translation>&amp;Wieder öffnen</translation>
    </message>
    <message>
        <source>&amp;Discard</source>
        <translation>&amp;Verwerfen</translation>
    </message>
    <message>
        <source>&amp;Later</source>
        <translation>&amp;Später</translation>
    </message>
    <message>
        <source>Kept marks could not be reopened (%1); their files are in %2</source>
        <translation>Aufbewahrte Markierungen konnten nicht wieder geöffnet werden (%1); ihre Dateien liegen in %2</translation>
    </message>
    <message numerus="yes">
        <source>The newest %1 reopened; %n more with their marks are in the history (Show History…)</source>
        <translation>
            <numerusform>Die neuesten %1 wieder geöffnet; %n weitere liegt mit ihren Markierungen im Verlauf (Verlauf anzeigen …)</numerusform>
            <numerusform>Die neuesten %1 wieder geöffnet; %n weitere liegen mit ihren Markierungen im Verlauf (Verlauf anzeigen …)</numerusform>
        </translation>
    </message>
    <message>
        <source>Vistrel cannot keep your captures and unsaved marks in its history: %1</source>
        <translation>Vistrel kann Aufnahmen und ungespeicherte Markierungen nicht im Verlauf aufbewahren: %1</translation>
    </message>
    <message>
        <source>This capture could not be reopened: %1</source>
        <translation>Diese Aufnahme konnte nicht wieder geöffnet werden: %1</translation>
    </message>
</context>
<context>
    <name>vistrel::EditorToolbar</name>
    <message>
        <source>Redact Secrets</source>
        <translation>Geheimnisse schwärzen</translation>
    </message>
    <message>
        <source>Redact Secrets (X)</source>
        <translation>Geheimnisse schwärzen (X)</translation>
    </message>
    <message>
        <source>Line width</source>
        <translation>Linienstärke</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Hinzufügen</translation>
    </message>
    <message>
        <source>Add another screenshot to combine (Ctrl+V to paste an image)</source>
        <translation>Weiteres Bildschirmfoto zum Kombinieren hinzufügen (Strg+V fügt ein Bild ein)</translation>
    </message>
    <message>
        <source>Zoom Out</source>
        <translation>Verkleinern</translation>
    </message>
    <message>
        <source>Zoom to Fit</source>
        <translation>In Fenster einpassen</translation>
    </message>
    <message>
        <source>Zoom In</source>
        <translation>Vergrößern</translation>
    </message>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
    <message>
        <source>Redo</source>
        <translation>Wiederholen</translation>
    </message>
    <message>
        <source>Pin</source>
        <translation>Anheften</translation>
    </message>
    <message>
        <source>OCR</source>
        <translation>Text erkennen (OCR)</translation>
    </message>
    <message>
        <source>Compare</source>
        <translation>Vergleichen</translation>
    </message>
    <message>
        <source>Beautify</source>
        <translation>Verschönern</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Teilen</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Save As…</source>
        <translation>Speichern unter…</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Transparent</source>
        <translation>Transparent</translation>
    </message>
    <message>
        <source>PDF</source>
        <translation>PDF</translation>
    </message>
    <message>
        <source>Editable PNG</source>
        <translation>Bearbeitbares PNG</translation>
    </message>
</context>
<context>
    <name>vistrel::EditorWindowController</name>
    <message>
        <source>Vistrel — Editor</source>
        <translation>Vistrel — Editor</translation>
    </message>
    <message>
        <source>Picture added</source>
        <translation>Bild hinzugefügt</translation>
    </message>
    <message>
        <source>Copied %1 chars</source>
        <translation>%1 Zeichen kopiert</translation>
    </message>
    <message>
        <source>Add a 2nd screenshot (Add / Ctrl+V) to compare</source>
        <translation>Zum Vergleichen ein zweites Bildschirmfoto hinzufügen („Hinzufügen“ / Strg+V)</translation>
    </message>
    <message>
        <source>Checking for secrets…</source>
        <translation>Prüfe auf Geheimnisse …</translation>
    </message>
    <message>
        <source>The pixels under the redactions are gone</source>
        <translation>Die Pixel unter den Schwärzungen sind entfernt</translation>
    </message>
    <message>
        <source>Stopped looking for secrets</source>
        <translation>Suche nach Geheimnissen abgebrochen</translation>
    </message>
</context>
<context>
    <name>vistrel::HistoryWindow</name>
    <message>
        <source>No captures kept yet. Captures you copy, save, pin or edit appear here.</source>
        <translation>Noch keine Aufnahmen aufbewahrt. Aufnahmen, die Sie kopieren, sichern, anheften oder bearbeiten, erscheinen hier.</translation>
    </message>
    <message>
        <source>Today %1</source>
        <translation>Heute %1</translation>
    </message>
    <message>
        <source>Yesterday %1</source>
        <translation>Gestern %1</translation>
    </message>
    <message>
        <source>Marks not saved</source>
        <translation>Markierungen nicht gesichert</translation>
    </message>
    <message>
        <source>Vistrel — History</source>
        <translation>Vistrel — Verlauf</translation>
    </message>
    <message>
        <source>Vistrel — Delete Captures</source>
        <translation>Vistrel — Aufnahmen löschen</translation>
    </message>
    <message>
        <source>Delete this capture from the history?</source>
        <translation>Diese Aufnahme aus dem Verlauf löschen?</translation>
    </message>
    <message>
        <source>Delete %1 captures from the history?</source>
        <translation>%1 Aufnahmen aus dem Verlauf löschen?</translation>
    </message>
    <message>
        <source>Their pictures and marks are removed and cannot be brought back.</source>
        <translation>Ihre Bilder und Markierungen werden entfernt und lassen sich nicht zurückholen.</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>Recording: double click to play</source>
        <translation>Aufnahme: Doppelklick spielt sie ab</translation>
    </message>
</context>
<context>
    <name>vistrel::HotkeyField</name>
    <message>
        <source>Press the new combination…</source>
        <translation>Neue Kombination drücken …</translation>
    </message>
</context>
<context>
    <name>vistrel::PaletteColorButton</name>
    <message>
        <source>Colour</source>
        <translation>Farbe</translation>
    </message>
</context>
<context>
    <name>vistrel::PinWindow</name>
    <message>
        <source>Vistrel Pin</source>
        <translation>Angeheftetes Vistrel-Bild</translation>
    </message>
</context>
<context>
    <name>vistrel::Preferences</name>
    <message>
        <source>Could not remove %1.</source>
        <translation>%1 konnte nicht entfernt werden.</translation>
    </message>
    <message>
        <source>Could not create the folder %1.</source>
        <translation>Der Ordner %1 konnte nicht angelegt werden.</translation>
    </message>
    <message>
        <source>Could not write %1: %2</source>
        <translation>%1 konnte nicht geschrieben werden: %2</translation>
    </message>
</context>
<context>
    <name>vistrel::PreferencesWindow</name>
    <message>
        <source>Vistrel Preferences</source>
        <translation>Vistrel-Einstellungen</translation>
    </message>
    <message>
        <source>Hot keys</source>
        <translation>Tastenkürzel</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Choose…</source>
        <translation>Auswählen …</translation>
    </message>
    <message>
        <source>Folder:</source>
        <translation>Ordner:</translation>
    </message>
    <message>
        <source>Save Folder</source>
        <translation>Speicherordner</translation>
    </message>
    <message>
        <source>Save without asking</source>
        <translation>Ohne Nachfrage speichern</translation>
    </message>
    <message>
        <source>Save writes a new PNG file named by the time into the folder</source>
        <translation>„Speichern“ legt im Ordner eine neue PNG-Datei an, benannt nach der Uhrzeit</translation>
    </message>
    <message>
        <source>Start Vistrel at login</source>
        <translation>Vistrel bei der Anmeldung starten</translation>
    </message>
    <message>
        <source>Suggest file names from the picture&apos;s text</source>
        <translation>Dateinamen aus dem Text im Bild vorschlagen</translation>
    </message>
    <message>
        <source>Set by VISTREL_SMART_NAMES in the environment</source>
        <translation>Durch VISTREL_SMART_NAMES in der Umgebung festgelegt</translation>
    </message>
    <message>
        <source>Redaction</source>
        <translation>Schwärzung</translation>
    </message>
    <message>
        <source>Names, project code names, separated by commas</source>
        <translation>Namen, Projekt-Codenamen, durch Kommas getrennt</translation>
    </message>
    <message>
        <source>My own words:</source>
        <translation>Meine eigenen Wörter:</translation>
    </message>
    <message>
        <source>History</source>
        <translation>Verlauf</translation>
    </message>
    <message>
        <source>Keep recent captures, with their marks</source>
        <translation>Letzte Aufnahmen mit ihren Markierungen aufbewahren</translation>
    </message>
    <message>
        <source>Kept in your data folder, readable only by you; never uploaded</source>
        <translation>Im eigenen Datenordner, nur für Sie lesbar; wird nie hochgeladen</translation>
    </message>
    <message>
        <source> captures</source>
        <translation> Aufnahmen</translation>
    </message>
    <message>
        <source>Keep up to:</source>
        <translation>Höchstens behalten:</translation>
    </message>
    <message>
        <source> MB</source>
        <translation> MB</translation>
    </message>
    <message>
        <source>Use up to:</source>
        <translation>Höchstens belegen:</translation>
    </message>
    <message>
        <source>Clear History</source>
        <translation>Verlauf leeren</translation>
    </message>
    <message>
        <source>Remove every capture kept in the history?</source>
        <translation>Alle Aufnahmen aus dem Verlauf entfernen?</translation>
    </message>
    <message>
        <source>Editors that are open keep their work.</source>
        <translation>Offene Editoren behalten ihre Arbeit.</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Sharing</source>
        <translation>Teilen</translation>
    </message>
    <message>
        <source>Share in the editor uploads the picture to this address and copies the link the server answers with.</source>
        <translation>Teilen im Editor lädt das Bild an diese Adresse hoch und kopiert den Link, den der Server zurückgibt.</translation>
    </message>
    <message>
        <source>Upload address:</source>
        <translation>Upload-Adresse:</translation>
    </message>
    <message>
        <source>Forget Token</source>
        <translation>Token vergessen</translation>
    </message>
    <message>
        <source>Token:</source>
        <translation>Token:</translation>
    </message>
    <message>
        <source>Apply</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>The token is forgotten.</source>
        <translation>Das Token ist vergessen.</translation>
    </message>
    <message>
        <source>Type a new token to replace it</source>
        <translation>Ein neues Token eingeben, um es zu ersetzen</translation>
    </message>
    <message>
        <source>The token your upload server gave you</source>
        <translation>Das Token, das Ihnen Ihr Upload-Server gegeben hat</translation>
    </message>
    <message>
        <source>The address is removed.</source>
        <translation>Die Adresse ist entfernt.</translation>
    </message>
    <message>
        <source>The address is kept.</source>
        <translation>Die Adresse ist gespeichert.</translation>
    </message>
    <message>
        <source>The token was not kept: %1</source>
        <translation>Das Token wurde nicht gespeichert: %1</translation>
    </message>
    <message>
        <source>The keyring did not take the token (%1).</source>
        <translation>Der Schlüsselbund hat das Token nicht angenommen (%1).</translation>
    </message>
    <message>
        <source>The token is in the keyring.</source>
        <translation>Das Token liegt im Schlüsselbund.</translation>
    </message>
    <message>
        <source>The token is in ~/.vistrel/share-token, which only you can read.</source>
        <translation>Das Token liegt in ~/.vistrel/share-token, das nur Sie lesen können.</translation>
    </message>
    <message>
        <source>https://share.example/api/upload</source>
        <translation>https://teilen.example/api/upload</translation>
    </message>
    <message>
        <source>Recording</source>
        <translation>Aufzeichnung</translation>
    </message>
    <message>
        <source> s</source>
        <translation> s</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keiner</translation>
    </message>
    <message>
        <source>Countdown:</source>
        <translation>Countdown:</translation>
    </message>
    <message>
        <source>WebM video</source>
        <translation>WebM-Video</translation>
    </message>
    <message>
        <source>MP4 video</source>
        <translation>MP4-Video</translation>
    </message>
    <message>
        <source>Animated GIF</source>
        <translation>Animiertes GIF</translation>
    </message>
    <message>
        <source>Format:</source>
        <translation>Format:</translation>
    </message>
    <message>
        <source>60 frames a second (instead of 30)</source>
        <translation>60 Bilder pro Sekunde (statt 30)</translation>
    </message>
    <message>
        <source>Show the pointer</source>
        <translation>Mauszeiger zeigen</translation>
    </message>
    <message>
        <source>Mark clicks with a fading ring</source>
        <translation>Klicks mit einem verblassenden Ring markieren</translation>
    </message>
</context>
<context>
    <name>vistrel::PreviewCardController</name>
    <message>
        <source>Vistrel Preview</source>
        <translation>Vistrel-Vorschau</translation>
    </message>
    <message>
        <source>Adjust</source>
        <translation>Anpassen</translation>
    </message>
    <message>
        <source>Mark</source>
        <translation>Markieren</translation>
    </message>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Pin</source>
        <translation>Anheften</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
    <message>
        <source>Copied to clipboard</source>
        <translation>In die Zwischenablage kopiert</translation>
    </message>
</context>
<context>
    <name>vistrel::RecordingControl</name>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Vistrel — Recording</source>
        <translation>Vistrel — Aufzeichnung</translation>
    </message>
    <message>
        <source>Resume</source>
        <translation>Fortsetzen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
</context>
<context>
    <name>vistrel::RecordingPreviewWindow</name>
    <message>
        <source>Play (Space)</source>
        <translation>Abspielen (Leertaste)</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Trim:</source>
        <translation>Kürzen:</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save…</source>
        <translation>Speichern…</translation>
    </message>
    <message>
        <source>Share</source>
        <translation>Teilen</translation>
    </message>
    <message>
        <source>Open Folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>Copy the recording (Ctrl+C): files paste as the file, pictures as the GIF</source>
        <translation>Aufnahme kopieren (Strg+C): als Datei eingefügt die Datei, als Bild das GIF</translation>
    </message>
    <message>
        <source>Save as WebM, MP4 or GIF, by the name&apos;s extension (Ctrl+S)</source>
        <translation>Als WebM, MP4 oder GIF speichern, nach der Endung des Namens (Strg+S)</translation>
    </message>
    <message>
        <source>Upload and copy the link</source>
        <translation>Hochladen und den Link kopieren</translation>
    </message>
    <message>
        <source>Pause (Space)</source>
        <translation>Anhalten (Leertaste)</translation>
    </message>
    <message>
        <source>This recording cannot be played: %1</source>
        <translation>Diese Aufnahme lässt sich nicht abspielen: %1</translation>
    </message>
    <message>
        <source>all %1</source>
        <translation>alles, %1</translation>
    </message>
    <message>
        <source>%1 – %2 (%3)</source>
        <translation>%1 – %2 (%3)</translation>
    </message>
    <message>
        <source>The recording could not be copied: %1</source>
        <translation>Die Aufnahme konnte nicht kopiert werden: %1</translation>
    </message>
    <message>
        <source>Recording copied</source>
        <translation>Aufnahme kopiert</translation>
    </message>
    <message>
        <source>WebM video (*.webm)</source>
        <translation>WebM-Video (*.webm)</translation>
    </message>
    <message>
        <source>MP4 video (*.mp4)</source>
        <translation>MP4-Video (*.mp4)</translation>
    </message>
    <message>
        <source>GIF animation (*.gif)</source>
        <translation>GIF-Animation (*.gif)</translation>
    </message>
    <message>
        <source>Could not save “%1” in %2: %3.</source>
        <translation>„%1“ konnte nicht in %2 gespeichert werden: %3.</translation>
    </message>
    <message>
        <source>Saved · %1</source>
        <translation>Gespeichert · %1</translation>
    </message>
    <message>
        <source>The recording could not be shared: %1</source>
        <translation>Die Aufnahme konnte nicht geteilt werden: %1</translation>
    </message>
    <message>
        <source>Share failed</source>
        <translation>Teilen fehlgeschlagen</translation>
    </message>
    <message>
        <source>Vistrel — Recording</source>
        <translation>Vistrel — Aufnahme</translation>
    </message>
</context>
<context>
    <name>vistrel::RecordingSession</name>
    <message>
        <source>Screen recording is not available on this desktop.</source>
        <translation>Bildschirmaufzeichnung ist auf diesem Desktop nicht verfügbar.</translation>
    </message>
    <message>
        <source>A recording is already running</source>
        <translation>Es läuft bereits eine Aufzeichnung</translation>
    </message>
    <message>
        <source>The recording stopped early: %1. What was recorded is kept.</source>
        <translation>Die Aufzeichnung endete vorzeitig: %1. Was aufgezeichnet wurde, bleibt erhalten.</translation>
    </message>
    <message numerus="yes">
        <source>%n frame(s) were dropped while the encoder was behind.</source>
        <translation>
            <numerusform>%n Bild wurde verworfen, während der Kodierer im Rückstand war.</numerusform>
            <numerusform>%n Bilder wurden verworfen, während der Kodierer im Rückstand war.</numerusform>
        </translation>
    </message>
    <message>
        <source>The recording failed: %1</source>
        <translation>Die Aufzeichnung ist fehlgeschlagen: %1</translation>
    </message>
</context>
<context>
    <name>vistrel::RecordingWriter</name>
    <message>
        <source>The recording has already started.</source>
        <translation>Die Aufnahme läuft bereits.</translation>
    </message>
    <message>
        <source>The recording has not started.</source>
        <translation>Die Aufnahme hat nicht begonnen.</translation>
    </message>
</context>
<context>
    <name>vistrel::ScrollCaptureController</name>
    <message>
        <source>Scrolling Capture</source>
        <translation>Aufnahme mit Bildlauf</translation>
    </message>
    <message numerus="yes">
        <source>Captured %1 px · %n frames</source>
        <translation>
            <numerusform>%1 px aufgenommen · %n Bild</numerusform>
            <numerusform>%1 px aufgenommen · %n Bilder</numerusform>
        </translation>
    </message>
    <message>
        <source>Scroll the content, or use Auto</source>
        <translation>Inhalt scrollen oder „Automatisch scrollen“ wählen</translation>
    </message>
    <message>
        <source>Captured 0 px</source>
        <translation>0 px aufgenommen</translation>
    </message>
    <message>
        <source>Auto Scroll</source>
        <translation>Automatisch scrollen</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>This area is too small to follow scrolling: drag a taller one.</source>
        <translation>Dieser Bereich ist zu klein, um dem Bildlauf zu folgen: einen höheren aufziehen.</translation>
    </message>
    <message>
        <source>Lost track of the content: it moved too far at once. Scroll back a little, or press Done.</source>
        <translation>Inhalt verloren: Er bewegte sich zu weit. Etwas zurückscrollen oder „Fertig“ drücken.</translation>
    </message>
    <message>
        <source>Stop (Esc)</source>
        <translation>Anhalten (Esc)</translation>
    </message>
    <message>
        <source>Scrolling… Esc stops, Done ends</source>
        <translation>Scrollt … Esc hält an, „Fertig“ beendet</translation>
    </message>
    <message>
        <source>One wheel notch scrolls further than this area can follow: drag a taller area.</source>
        <translation>Eine Mausradstufe scrollt weiter, als der Bereich folgen kann: einen höheren aufziehen.</translation>
    </message>
    <message>
        <source>Nothing scrolled here: click into the content and try again, or scroll it by hand.</source>
        <translation>Nichts gescrollt: in den Inhalt klicken und erneut versuchen oder von Hand scrollen.</translation>
    </message>
    <message>
        <source>Stopped at %1 px, the tallest picture kept: what lies further down is left out. Done keeps this.</source>
        <translation>Bei %1 px angehalten, dem höchsten Bild, das behalten wird: was weiter unten liegt, fehlt. „Fertig“ behält dies.</translation>
    </message>
</context>
<context>
    <name>vistrel::ScrollSession</name>
    <message>
        <source>Vistrel — Scrolling Capture</source>
        <translation>Vistrel — Aufnahme mit Bildlauf</translation>
    </message>
    <message>
        <source>A scrolling capture is still going on. Start a new one?</source>
        <translation>Eine Aufnahme mit Bildlauf läuft noch. Eine neue beginnen?</translation>
    </message>
    <message>
        <source>Keep Scrolling</source>
        <translation>Weiter aufnehmen</translation>
    </message>
    <message>
        <source>Finish and Start New</source>
        <translation>Beenden und neu beginnen</translation>
    </message>
    <message>
        <source>Discard and Start New</source>
        <translation>Verwerfen und neu beginnen</translation>
    </message>
</context>
<context>
    <name>vistrel::SelectionToolbar</name>
    <message>
        <source>Edit</source>
        <translation>Bearbeiten</translation>
    </message>
    <message>
        <source>Copy</source>
        <translation>Kopieren</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Speichern</translation>
    </message>
    <message>
        <source>Pin</source>
        <translation>Anheften</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
    <message>
        <source>Record</source>
        <translation>Aufzeichnen</translation>
    </message>
</context>
<context>
    <name>vistrel::SelectionView</name>
    <message>
        <source>Vistrel Selection</source>
        <translation>Vistrel-Auswahl</translation>
    </message>
    <message>
        <source>Scrolling capture: drag over the content that scrolls · Esc to cancel</source>
        <translation>Aufnahme mit Bildlauf: über den scrollenden Inhalt ziehen · Esc zum Abbrechen</translation>
    </message>
    <message>
        <source>Click a window · Esc to cancel</source>
        <translation>Fenster anklicken · Esc zum Abbrechen</translation>
    </message>
    <message>
        <source>Drag to select · Esc to cancel</source>
        <translation>Ziehen zum Auswählen · Esc zum Abbrechen</translation>
    </message>
    <message>
        <source>Click to pick a colour · Esc to cancel</source>
        <translation>Klicken zum Wählen einer Farbe · Esc zum Abbrechen</translation>
    </message>
    <message>
        <source>Record: drag over an area or click a window · Esc to cancel</source>
        <translation>Aufzeichnen: Bereich aufziehen oder Fenster anklicken · Esc bricht ab</translation>
    </message>
</context>
<context>
    <name>vistrel::TrimBar</name>
    <message>
        <source>Drag the handles to trim the start and the end</source>
        <translation>Die Griffe ziehen, um Anfang und Ende zu kürzen</translation>
    </message>
</context>
</TS>
