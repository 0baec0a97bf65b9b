<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>QObject</name>
    <message>
        <source>Read Test service state</source>
        <translation>Zustand des Testdienstes lesen</translation>
    </message>
</context>
</TS>
