<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="en">
<context>
    <name>vistrel::AddSessionController</name>
    <message numerus="yes">
        <source>%n added · capture more, or Done</source>
        <translation>
            <numerusform>%n added · capture more, or Done</numerusform>
            <numerusform>%n added · capture more, or Done</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>vistrel::AppShell</name>
    <message numerus="yes">
        <source>%n editors have marks that are not saved.</source>
        <translation>
            <numerusform>%n editor has marks that are not saved.</numerusform>
            <numerusform>%n editors have marks that are not saved.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>vistrel::EditorSessions</name>
    <message numerus="yes">
        <source>Vistrel kept the unsaved marks of %n captures when it last quit.</source>
        <translation>
            <numerusform>Vistrel kept the unsaved marks of %n capture when it last quit.</numerusform>
            <numerusform>Vistrel kept the unsaved marks of %n captures when it last quit.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The newest %1 reopened; %n more with their marks are in the history (Show History…)</source>
        <translation>
            <numerusform>The newest %1 reopened; %n more with its marks is in the history (Show History…)</numerusform>
            <numerusform>The newest %1 reopened; %n more with their marks are in the history (Show History…)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>vistrel::RecordingSession</name>
    <message numerus="yes">
        <source>%n frame(s) were dropped while the encoder was behind.</source>
        <translation>
            <numerusform>%n frame was dropped while the encoder was behind.</numerusform>
            <numerusform>%n frames were dropped while the encoder was behind.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>vistrel::ScrollCaptureController</name>
    <message numerus="yes">
        <source>Captured %1 px · %n frames</source>
        <translation>
            <numerusform>Captured %1 px · %n frame</numerusform>
            <numerusform>Captured %1 px · %n frames</numerusform>
        </translation>
    </message>
</context>
</TS>
