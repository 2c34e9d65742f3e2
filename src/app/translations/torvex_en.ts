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
    <message>
        <source>Błąd zapisu: %1</source>
        <comment>IDS_LOG_WRITE_ERROR_WAITING</comment>
        <translation>Write error: %1</translation>
    </message>
    <message>
        <source>Nie można zapisać pliku:
%1
Wiersze czekające na zapis: %2
Utracone wiersze: %3</source>
        <comment>IDS_LOG_WRITE_ERROR_TIP</comment>
        <translation>Cannot write to the file:
%1
Lines waiting: %2
Lines lost: %3</translation>
    </message>
    <message>
        <source>%1
Utracone wiersze: %2</source>
        <comment>IDS_LOG_LOST_TIP</comment>
        <translation>%1
Lines lost: %2</translation>
    </message>
    <message>
        <source>%1
Wiersze czekające na zapis: %2</source>
        <comment>IDS_LOG_WAITING_TIP</comment>
        <translation>%1
Lines waiting: %2</translation>
    </message>
    <message>
        <source>Do pliku zapisuje już inny program%4:
%1
Wiersze czekające na zapis: %2
Utracone wiersze: %3</source>
        <comment>IDS_LOG_OTHER_WRITER_TIP</comment>
        <translation>Another program is already writing to the file%4:
%1
Lines waiting: %2
Lines lost: %3</translation>
    </message>
    <message>
        <source>Nie można zapisać pliku:
%1

Czekające wiersze (%2) zapisano w pliku:
%3

Dołącz je do pliku pomiarowego, gdy będzie dostępny.</source>
        <comment>IDS_LOG_RESCUED</comment>
        <translation>Cannot write to the file:
%1

The lines waiting for it (%2) were saved to:
%3

Append them to the log file once it can be written.</translation>
    </message>
    <message>
        <source>Nie można zapisać pliku:
%1

Nie można też zapisać pliku odzysku. Utracone wiersze: %2</source>
        <comment>IDS_LOG_RESCUE_FAILED</comment>
        <translation>Cannot write to the file:
%1

No recovery file could be written either. Lines lost: %2</translation>
    </message>
    <message>
        <source>TORVEX PC jest już uruchomiony.</source>
        <comment>IDS_ALREADY_RUNNING</comment>
        <translation>TORVEX PC is already running.</translation>
    </message>
    <message>
        <source>Nie wysłano: lista bez wyboru</source>
        <comment>IDS_NO_SELECTION</comment>
        <translation>Not sent: a list has no selection</translation>
    </message>
    <message>
        <source>Zapisz</source>
        <comment>IDS_A11Y_WRITE</comment>
        <translation>Save</translation>
    </message>
    <message>
        <source>Odczytaj</source>
        <comment>IDS_A11Y_READ</comment>
        <translation>Read</translation>
    </message>
    <message>
        <source>Zmienna MOD</source>
        <comment>IDS_A11Y_MOD_VALUE</comment>
        <translation>MODULO value</translation>
    </message>
    <message>
        <source>Wybierz plik z pomiarami</source>
        <comment>IDS_A11Y_CHOOSE_FILE</comment>
        <translation>Choose the data file</translation>
    </message>
    <message>
        <source>Rozpocznij zapis do pliku</source>
        <comment>IDS_A11Y_LOG_START</comment>
        <translation>Start recording to the file</translation>
    </message>
    <message>
        <source>Zatrzymaj zapis do pliku</source>
        <comment>IDS_A11Y_LOG_STOP</comment>
        <translation>Stop recording to the file</translation>
    </message>
    <message>
        <source>Urządzenia HID</source>
        <comment>IDS_A11Y_DEVICES</comment>
        <translation>HID devices</translation>
    </message>
    <message>
        <source>Zwiększ</source>
        <comment>IDS_A11Y_INCREASE</comment>
        <translation>Increase</translation>
    </message>
    <message>
        <source>Zmniejsz</source>
        <comment>IDS_A11Y_DECREASE</comment>
        <translation>Decrease</translation>
    </message>
    <message>
        <source>Strony</source>
        <comment>IDS_A11Y_PAGES</comment>
        <translation>Pages</translation>
    </message>
    <message>
        <source>Język</source>
        <comment>IDS_A11Y_LANGUAGE</comment>
        <translation>Language</translation>
    </message>
    <message>
        <source>aktywne</source>
        <comment>IDS_A11Y_LAMP_ON</comment>
        <translation>active</translation>
    </message>
    <message>
        <source>nieaktywne</source>
        <comment>IDS_A11Y_LAMP_OFF</comment>
        <translation>inactive</translation>
    </message>
    <message>
        <source>To nie jest liczba</source>
        <comment>IDS_A11Y_NOT_A_NUMBER</comment>
        <translation>Not a number</translation>
    </message>
    <message>
        <source>Ograniczono do %1</source>
        <comment>IDS_A11Y_LIMITED</comment>
        <translation>Limited to %1</translation>
    </message>
    <message>
        <source>Wysłano</source>
        <comment>IDS_A11Y_SENT</comment>
        <translation>Sent</translation>
    </message>
    <message>
        <source>Nie wysłano</source>
        <comment>IDS_A11Y_NOT_SENT</comment>
        <translation>Not sent</translation>
    </message>
    <message>
        <source>Nie wysłano: brak połączenia z urządzeniem</source>
        <comment>IDS_A11Y_NOT_CONNECTED</comment>
        <translation>Not sent: no instrument connected</translation>
    </message>
    <message>
        <source>Nie wysłano: błąd zapisu do urządzenia</source>
        <comment>IDS_A11Y_WRITE_FAILED</comment>
        <translation>Not sent: writing to the instrument failed</translation>
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
    <message>
        <source>Wskażniki</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>Czas</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>DATA</source>
        <translation>DATE</translation>
    </message>
    <message>
        <source>GODZINA</source>
        <translation>TIME</translation>
    </message>
    <message>
        <source>Wejścia enkoderowe</source>
        <translation>Encoder inputs</translation>
    </message>
    <message>
        <source>ENKODER 1 (pozycja)</source>
        <translation>ENCODER 1 (position)</translation>
    </message>
    <message>
        <source>ENKODER 1 (prędkość)</source>
        <translation>ENCODER 1 (velocity)</translation>
    </message>
    <message>
        <source>ENKODER 2 (pozycja)</source>
        <translation>ENCODER 2 (position)</translation>
    </message>
    <message>
        <source>ENKODER 2 (prędkość)</source>
        <translation>ENCODER 2 (velocity)</translation>
    </message>
    <message>
        <source>ENKODER 3 (pozycja)</source>
        <translation>ENCODER 3 (position)</translation>
    </message>
    <message>
        <source>ENKODER 3 (prędkość)</source>
        <translation>ENCODER 3 (velocity)</translation>
    </message>
    <message>
        <source>Wyjścia i wejścia</source>
        <translation>Inputs and outputs</translation>
    </message>
    <message>
        <source>OUT1</source>
        <translation>OUT1</translation>
    </message>
    <message>
        <source>OUT2</source>
        <translation>OUT2</translation>
    </message>
    <message>
        <source>OUT3</source>
        <translation>OUT3</translation>
    </message>
    <message>
        <source>OUT4</source>
        <translation>OUT4</translation>
    </message>
    <message>
        <source>TRIG1</source>
        <translation>TRIG1</translation>
    </message>
    <message>
        <source>TRIG2</source>
        <translation>TRIG2</translation>
    </message>
    <message>
        <source>Zapis nieaktywny</source>
        <translation>Save inactive</translation>
    </message>
    <message>
        <source>Wykresy</source>
        <translation>Chart</translation>
    </message>
    <message>
        <source>Zatrzymaj wykres</source>
        <translation>Pause chart</translation>
    </message>
    <message>
        <source>Wyczyść wykres</source>
        <translation>Clear chart</translation>
    </message>
    <message>
        <source>Zapisz wykres</source>
        <translation>Save chart</translation>
    </message>
    <message>
        <source>Konfiguracja - enkodery</source>
        <translation>Configuration - encoders</translation>
    </message>
    <message>
        <source>Wejścia enkoderowe - konfiguracja</source>
        <translation>Encoder inputs - configuration</translation>
    </message>
    <message>
        <source>Enkoder 1</source>
        <translation>Encoder 1</translation>
    </message>
    <message>
        <source>Enkoder 2</source>
        <translation>Encoder 2</translation>
    </message>
    <message>
        <source>Enkoder 3</source>
        <translation>Encoder 3</translation>
    </message>
    <message>
        <source>Odczytaj</source>
        <translation>Read</translation>
    </message>
    <message>
        <source>Zerowanie kanałem C</source>
        <translation>Clear index C</translation>
    </message>
    <message>
        <source>Nie</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Tak</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Zapisz</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Tryb pracy</source>
        <translation>Velocity mode</translation>
    </message>
    <message>
        <source>na sekundę</source>
        <translation>per second</translation>
    </message>
    <message>
        <source>na minutę</source>
        <translation>per minute</translation>
    </message>
    <message>
        <source>Czas bramkowania [ms]</source>
        <translation>Gate time [ms]</translation>
    </message>
    <message>
        <source>Rozdzielczość [imp]</source>
        <translation>Resolution [pulse]</translation>
    </message>
    <message>
        <source>Mnożnik [Coeff]</source>
        <translation>Coeff</translation>
    </message>
    <message>
        <source>Przesunięcie [Offset]</source>
        <translation>Offset</translation>
    </message>
    <message>
        <source>Jednostka pomiaru</source>
        <translation>Unit</translation>
    </message>
    <message>
        <source>Nazwa pomiaru</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Zeruj pozycję</source>
        <translation>Clear position</translation>
    </message>
    <message>
        <source>Opis:</source>
        <translation>Description:</translation>
    </message>
    <message>
        <source>Wartość pomiaru ENC = ENCx * Mnożnik + Przesuniecie</source>
        <translation>Value ENC = ENCx * Coeff + Offset</translation>
    </message>
    <message>
        <source>Przykład:</source>
        <translation>Example:</translation>
    </message>
    <message>
        <source>Gdy koło pomiarowe enkodera ma obwód 150 mm, to aby impulsy z enkodera przeliczyć na przebytą drogę należy wprowadzić współczynnik [Coeff] jako 150,0</source>
        <translation>When measuring wheel encoder has a circumference of 150 mm, the pulses from the encoder to calculate the distance traveled must enter the coefficient [coeff] as 150.0</translation>
    </message>
    <message>
        <source>Konfiguracja - wyjścia tranzystorowe</source>
        <translation>Configuration - Outputs</translation>
    </message>
    <message>
        <source>Wyjścia tranzystorowe - konfiguracja</source>
        <translation>NPN outputs - configuration</translation>
    </message>
    <message>
        <source>Rejestr do porówania</source>
        <translation>Register</translation>
    </message>
    <message>
        <source>Warunek</source>
        <translation>Condition</translation>
    </message>
    <message>
        <source>Wartość do warunku </source>
        <translation>Value</translation>
    </message>
    <message>
        <source>Stan wyjścia</source>
        <translation>Output state</translation>
    </message>
    <message>
        <source>T1</source>
        <translation>T1</translation>
    </message>
    <message>
        <source>Wyjście nieaktywne</source>
        <translation>Output inactive</translation>
    </message>
    <message>
        <source>Wyjście zawsze aktywne</source>
        <translation>Output alwayse active</translation>
    </message>
    <message>
        <source>ENKODER [1] (pozycja) </source>
        <translation>ENKODER [1] (position) </translation>
    </message>
    <message>
        <source>ENKODER [2] (pozycja) </source>
        <translation>ENKODER [2] (position) </translation>
    </message>
    <message>
        <source>ENKODER [3] (pozycja) </source>
        <translation>ENKODER [3] (position) </translation>
    </message>
    <message>
        <source>ENKODER [1] (prędkość) </source>
        <translation>ENKODER [1] (velocity) </translation>
    </message>
    <message>
        <source>ENKODER [2] (prędkość) </source>
        <translation>ENKODER [2] (velocity) </translation>
    </message>
    <message>
        <source>ENKODER [3] (prędkość) </source>
        <translation>ENKODER [3] (velocity) </translation>
    </message>
    <message>
        <source>mniejsza</source>
        <translation>smaller</translation>
    </message>
    <message>
        <source>większa</source>
        <translation>larger</translation>
    </message>
    <message>
        <source>Niekatywne</source>
        <translation>Inactive</translation>
    </message>
    <message>
        <source>Aktywne</source>
        <translation>Active</translation>
    </message>
    <message>
        <source>T2</source>
        <translation>T2</translation>
    </message>
    <message>
        <source>T3</source>
        <translation>T3</translation>
    </message>
    <message>
        <source>T4</source>
        <translation>T4</translation>
    </message>
    <message>
        <source>Jeżeli wartść z [Rejestr do porównania] jest [Warunek] od wartości [Wartość do warunku] to wyjście  przyjmuje stan [Stan wyjścia]</source>
        <translation>If the value [register] is [condition] of the [value] That takes the output state [status]</translation>
    </message>
    <message>
        <source>Jeżeli wartść z [ENKODER [1] (pozycja)] jest [mniejsza] od wartości [123,45] to wyjście  przyjmuje stan [Aktywne]</source>
        <translation>If the  value [ENCODER 1 (position)] is [smaller] of the [123,45] that takes the output state [Active]</translation>
    </message>
    <message>
        <source>Konfiguracja - wyzwalania + LED</source>
        <translation>Configuration - LED &amp;&amp; Trigger</translation>
    </message>
    <message>
        <source>Wyzwalanie pomiarów - konfiguracja</source>
        <translation>Trigger - configuration</translation>
    </message>
    <message>
        <source>Tryb pracy wejść wyzwalających</source>
        <translation>Trigger mode</translation>
    </message>
    <message>
        <source>Wyzwalanie + zapis do rejestrów MODBUS</source>
        <translation>Trigger + write to MODBUS register</translation>
    </message>
    <message>
        <source>Cykliczny zapis do rejestrów MODBUS</source>
        <translation>Cyclical writing to MODBUS register</translation>
    </message>
    <message>
        <source>Filtracja wejścia wyzwalającego [ms]</source>
        <translation>Trigger filter time</translation>
    </message>
    <message>
        <source>Tryb wyzwalania transmisji danych</source>
        <translation>Transmission mode</translation>
    </message>
    <message>
        <source>Transmisja ciągła</source>
        <translation>Continous transmission</translation>
    </message>
    <message>
        <source>Transmisja, gdy wejście 1 jest aktywne</source>
        <translation>Transmission, when TRIG 1 is active</translation>
    </message>
    <message>
        <source>Transmisja pojedyńcza na zbocze narastające</source>
        <translation>Single transmission to the rising egge</translation>
    </message>
    <message>
        <source>Czas pomiędzy wysyłaniem pomiarów [ms]</source>
        <translation>USB send time[ms]</translation>
    </message>
    <message>
        <source>Typ rejestru do zapisu 1</source>
        <translation>Type register 1</translation>
    </message>
    <message>
        <source>Typ rejestru do zapisu 2</source>
        <translation>Type register 2</translation>
    </message>
    <message>
        <source>Typ rejestru do zapisu 3</source>
        <translation>Type register 3</translation>
    </message>
    <message>
        <source>Wyświetlacz - konfiguracja</source>
        <translation>Display - configuration</translation>
    </message>
    <message>
        <source>Wyświetlacz zielony</source>
        <translation>Green LED</translation>
    </message>
    <message>
        <source>Godzina</source>
        <translation>Time</translation>
    </message>
    <message>
        <source>Data</source>
        <translation>Date</translation>
    </message>
    <message>
        <source>Enkoder 1 (pozycja) - Enkoder 2 (pozycja)</source>
        <translation>Encoder 1 (position) - Encoder 2 (position) </translation>
    </message>
    <message>
        <source>Enkoder 1 (pozycja) - Enkoder 3 (pozycja)</source>
        <translation>Encoder 1 (position) - Encoder 3 (position) </translation>
    </message>
    <message>
        <source>Enkoder 2 (pozycja) - Enkoder 1 (pozycja)</source>
        <translation>Encoder 2 (position) - Encoder 1 (position) </translation>
    </message>
    <message>
        <source>Enkoder 2 (pozycja) - Enkoder 3 (pozycja)</source>
        <translation>Encoder 2 (position) - Encoder 3 (position) </translation>
    </message>
    <message>
        <source>Enkoder 3 (pozycja) - Enkoder 1 (pozycja)</source>
        <translation>Encoder 3 (position) - Encoder 1 (position) </translation>
    </message>
    <message>
        <source>Enkoder 3 (pozycja) - Enkoder 2 (pozycja)</source>
        <translation>Encoder 3 (position) - Encoder 2 (position) </translation>
    </message>
    <message>
        <source>Enkoder 1 (pozycja) + Enkoder 2 (pozycja)</source>
        <translation>Encoder 1 (position) + Encoder 2 (position) </translation>
    </message>
    <message>
        <source>Enkoder 1 (pozycja) + Enkoder 3 (pozycja)</source>
        <translation>Encoder 1 (position) + Encoder 3 (position) </translation>
    </message>
    <message>
        <source>Enkoder 2 (pozycja) + Enkoder 3 (pozycja)</source>
        <translation>Encoder 2 (position) + Encoder 3 (position) </translation>
    </message>
    <message>
        <source>Wyświetlacz czerwony</source>
        <translation>Red LED</translation>
    </message>
    <message>
        <source>Pozycja</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Prędkość</source>
        <translation>Velocity</translation>
    </message>
    <message>
        <source>Sygnał dżwiękowy</source>
        <translation>Beep</translation>
    </message>
    <message>
        <source>Kropka dziesiętna</source>
        <translation>Decimal point</translation>
    </message>
    <message>
        <source>Ustawienia</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Automatycznie rozpocznij zapis do pliku przy starcie programu</source>
        <translation>Automatically start recording to a file at startup</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     datę [rrrr-mm-dd]</source>
        <translation>Save to file:     date [yyyy-mm-dd]</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     godzinę [gg:mm:ss:ms]</source>
        <translation>Save to file:     time [hh:mm:ss:ms]</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     licznik pomiarów</source>
        <translation>Save to file:     measurement counter</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     licznik pomiarów MOD zmienna: </source>
        <translation>Save to file:     measurement counter MODULO:</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     pozycja ENKODER 1 </source>
        <translation>Save to file:     Position ENCODER 1</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     pozycja ENKODER 2</source>
        <translation>Save to file:     Position ENCODER 2</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     pozycja ENKODER 3</source>
        <translation>Save to file:     Position ENCODER 3</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     prędkość ENKODER 1 </source>
        <translation>Save to file:     Velocity ENCODER 1</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     prędkość ENKODER 2</source>
        <translation>Save to file:     Velocity ENCODER 2</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     prędkość ENKODER 3</source>
        <translation>Save to file:     Velocity ENCODER 3</translation>
    </message>
    <message>
        <source>Rejestru do pliku:     stan wyjść tranzystorowych</source>
        <translation>Save to file:     Outputs state</translation>
    </message>
    <message>
        <source>Scieżka do pliku z pomiarami</source>
        <translation>Data file path</translation>
    </message>
    <message>
        <source>Połączenie USB</source>
        <translation>USB connection</translation>
    </message>
    <message>
        <source>Połącz z urządzeniem przy starcie programu</source>
        <translation>Connect at startup</translation>
    </message>
    <message>
        <source>Ustawienie wyświetlania</source>
        <translation>Display settings</translation>
    </message>
    <message>
        <source>Szerokość wykresu [s]</source>
        <translation>Chart width [s]</translation>
    </message>
    <message>
        <source>Konfiguracja MODBUS</source>
        <translation>MODBUS settings</translation>
    </message>
    <message>
        <source>Adres</source>
        <translation>Address</translation>
    </message>
    <message>
        <source>Prędkość </source>
        <translation>Velocity</translation>
    </message>
</context>
</TS>
