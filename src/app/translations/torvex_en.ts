<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_GB" sourcelanguage="pl_PL">
<context>
    <name>StringTable</name>
    <message>
        <source>Zaktualizowane parametr: [</source>
        <comment>IDS_2</comment>
        <translation>Parameter update: [</translation>
    </message>
    <message>
        <source>Połączony</source>
        <comment>IDS_4</comment>
        <translation>Connected</translation>
    </message>
    <message>
        <source>Rozłączony</source>
        <comment>IDS_5</comment>
        <translation>Disconnected</translation>
    </message>
    <message>
        <source>Odświeżam listę urządzeń</source>
        <comment>IDS_7</comment>
        <translation>Refreh device list</translation>
    </message>
    <message>
        <source>pomiary.csv</source>
        <comment>IDS_31</comment>
        <translation>measure.csv</translation>
    </message>
    <message>
        <source>min</source>
        <comment>IDS_153</comment>
        <translation>min</translation>
    </message>
    <message>
        <source>sek</source>
        <comment>IDS_154</comment>
        <translation>sec</translation>
    </message>
    <message>
        <source>Zapis: aktywny</source>
        <comment>IDS_159</comment>
        <translation>Write active</translation>
    </message>
    <message>
        <source>Zapis: aktywny</source>
        <comment>IDS_161</comment>
        <translation>Write: active</translation>
    </message>
    <message>
        <source>Zapis nieaktywny</source>
        <comment>IDS_162</comment>
        <translation>Write: inactive</translation>
    </message>
    <message>
        <source>Zapis: nieaktywny</source>
        <comment>IDS_164</comment>
        <translation>Write: inactive</translation>
    </message>
    <message>
        <source>Uruchom wykres</source>
        <comment>IDS_231</comment>
        <translation>Start chart</translation>
    </message>
    <message>
        <source>Zatrzymaj wykres</source>
        <comment>IDS_232</comment>
        <translation>Pause chart</translation>
    </message>
    <message>
        <source>Błąd zapisu</source>
        <comment>IDS_LOG_WRITE_ERROR</comment>
        <translation>Write error</translation>
    </message>
</context>
<context>
    <name>TFMain</name>
    <message>
        <source>Plik pomiarowy</source>
        <comment>SaveDialog.Title</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Plik tekstowy (*.txt)|*.txt|Plik z danymi oddzielonymi średnikami (*.csv)|*.csv</source>
        <comment>SaveDialog.Filter</comment>
        <translation>Text file (*.txt)|*.txt|CSV file (*.csv)|*.csv</translation>
    </message>
    <message>
        <source>Plik pomiarowy</source>
        <comment>SaveDialogBitmap.Title</comment>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Mapa bitowa (*.bmp)|*.bmp</source>
        <comment>SaveDialogBitmap.Filter</comment>
        <translation>Bitmap (*.bmp)|*.bmp</translation>
    </message>
    <message>
        <source>pozycja ENKODER 1</source>
        <comment>Series1.Title</comment>
        <translation>position ENCODER 1</translation>
    </message>
    <message>
        <source>pozycja ENKODER 2</source>
        <comment>Series2.Title</comment>
        <translation>position ENCODER 2</translation>
    </message>
    <message>
        <source>pozycja ENKODER 3</source>
        <comment>Series3.Title</comment>
        <translation>position ENCODER 3</translation>
    </message>
    <message>
        <source>prędkość ENKODER 1</source>
        <comment>Series4.Title</comment>
        <translation>velocity ENCODER 1</translation>
    </message>
    <message>
        <source>prędkość ENKODER 2</source>
        <comment>Series5.Title</comment>
        <translation>velocity ENCODER 2</translation>
    </message>
    <message>
        <source>prędkość ENKODER3</source>
        <comment>Series6.Title</comment>
        <translation>velocity ENCODER 3</translation>
    </message>
</context>
</TS>
