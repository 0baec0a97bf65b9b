<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ServiceSambaElement</name>
    <message>
        <source>Samba</source>
        <translation>Samba-Dateiserver</translation>
    </message>
</context>
<context>
    <name>ServiceElementWidget</name>
    <message>
        <source>State:</source>
        <translation>Zustand:</translation>
    </message>
</context>
</TS>
