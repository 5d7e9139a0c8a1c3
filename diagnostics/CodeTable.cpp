#include "diagnostics/CodeTable.h"

#include <iterator>

namespace quarn {

namespace {

struct KnownCode {
    int code;
    const char* text;
};

constexpr KnownCode kKnownCodes[] = {
    {10,
     "Dynamic response signal: open the throttle fully once; or cylinder 1 low in the balance test "
     "(depends on the engine)"},
    {11, "System Pass"},
    {12, "Idle speed control cannot raise RPM to the high test speed"},
    {13, "Idle speed control cannot bring RPM down to the low test speed (depends on the engine)"},
    {14, "PIP (crankshaft position) signal erratic"},
    {15, "EEC Read Only Memory Test Failed (OK if you have a chip)"},
    {16, "Ignition Diagnostic Monitor (IDM) signal not recieved"},
    {17, "RPM below the self test limit; idle set too low"},
    {18, "SPOUT circuit open or ignition signal to the computer lost (depends on the engine)"},
    {19, "Failure in EEC internal voltage"},
    {20, "Cylinder 2 low in the cylinder balance test"},
    {21, "ECT out of self-test range"},
    {22, "MAP/BAP out of self-test range"},
    {23, "TPS out of self test range"},
    {24, "ACT or VAT input out of self test range"},
    {25, "Knock not sensed during the dynamic response test"},
    {26, "MAF or VAF input out of self test range"},
    {28, "VAT out of self test range"},
    {29, "Insufficient input from the vehicle speed sensor"},
    {30, "Cylinder 3 low in the cylinder balance test"},
    {31, "EVP or PFE circuit below minimum voltage"},
    {32, "EVP voltage below closed limit / EPT circuit voltage low"},
    {33, "EGR valve not opening (EVP/PFE shows no EGR)"},
    {34, "Insufficient EGR Flow / Excessive exhaust back pressure"},
    {35, "EVP/PFE circuit above max voltage"},
    {38, "Idle tracking switch circuit open"},
    {39, "AXOD torque converter bypass clutch not applying properly"},
    {40, "Cylinder 4 low in the cylinder balance test"},
    {41, "Oxygen sensor shows lean, or no oxygen sensor switching (right side if two sensors)"},
    {42, "Oxygen sensor shows rich (right side if two sensors)"},
    {43, "Oxygen sensor shows lean at wide open throttle (depends on the engine)"},
    {44, "Secondary air (thermactor) system not working (right side)"},
    {45, "Secondary air upstream in the test, or coil 1 primary failure (depends on the engine)"},
    {46, "Secondary air not bypassed in test, or coil 2 primary failure (depends on the engine)"},
    {47, "4x4 switch is closed"},
    {48, "Coil 3 primary circuit failure (depends on the engine)"},
    {49, "SPOUT defaulted to 10 deg BTDC or open, or 1-2 shift error (depends on the engine)"},
    {50, "Cylinder 5 low in the cylinder balance test"},
    {51, "ECT sensor fault or circuit open"},
    {52, "PSPS circuit is open circuit"},
    {53, "TPS voltage above max voltage"},
    {54, "ACT or VAT sensor circuit open"},
    {55, "Key power input to the computer open circuit"},
    {56, "MAF or VAF circuit above max voltage or TOT sensor failure"},
    {57, "Octane Adjust pin in use"},
    {58, "VAT indicated -40deg F; circuit open"},
    {59, "Low speed fuel pump circuit failure or AXOD 4/3 pressure switch circuit fail"},
    {60, "Cylinder 6 low in the cylinder balance test"},
    {61, "ECT sensor fault or circuit grounded"},
    {62, "AXOD 4/3 or 3/2 pressure switch failed closed"},
    {63, "TPS circuit below minimum voltage"},
    {64, "ACT or VAT sensor fault or circuit grounded"},
    {65, "Fuel system did not enter closed loop (depends on the engine)"},
    {66, "TOT sensor input is less than minimum or VAF circuit below minimum"},
    {67, "Neutral pressure switch circuit open or neutral drive switch circuit open"},
    {68, "VAT circuit grounded or AXOD transmission temperature switch failed open"},
    {69, "AXOD 4/3 or 3/2 pressure switch failed closed"},
    {70, "Cylinder 7 low in the cylinder balance test"},
    {71, "Computer restarted its program while running (depends on the engine)"},
    {72, "Insufficient MAP or MAF change during the dynamic response test (depends on the engine)"},
    {73, "Insufficient throttle position change"},
    {74, "Brake on/off switch circuit open or not pressed during the test"},
    {75, "Brake on/off switch circuit closed (always on)"},
    {76, "Insufficient VAF change during the dynamic response test"},
    {77, "Brief wide open throttle not seen during the test (operator error)"},
    {79, "AC on / Defrost on during test"},
    {80, "Cylinder 8 low in the cylinder balance test"},
    {81,
     "Insufficient idle air solenoid output voltage or secondary air injection diverter (AM2) "
     "solenoid circuit failure"},
    {82, "Secondary air injection bypass (AM1) solenoid circuit failure"},
    {83,
     "EGRC solenoid circuit failure (2.3L MAP), High speed electro-drive fan HEDF circuit failure "
     "or Low speed fuel pump relay circuit open (3.0L MAF-SFI)"},
    {84, "EGR vacuum regulator circuit open"},
    {85, "Canister Purge (CANP) circuit failure"},
    {86, "Adaptive fuel rich limit reached or 3/4 shift solenoid circuit failure"},
    {87, "Fuel pump primary circuit failure"},
    {88, "Electro-drive fan EDF circuit failure"},
    {89, "AXOD Lock-Up Solenoid circuit failure or Clutch Converter Overide (CCO) circuit failure"},
    {90, "Cylinder balance test passed"},
    {91, "Shift solenoid 1 circuit failure"},
    {92, "Shift Solenoid 2 circuit failure"},
    {93,
     "TPS sensor input low at maximum DC motor extension or Coast Clutch Solenoid circuit failure "
     "(E4OD)"},
    {94, "Converter Clutch Control (CCC) solenoid circuit failure"},
    {95, "Fuel pump secondary circuit failure"},
    {96, "High speed fuel pump relay circuit open; fuel pump secondary circuit failure"},
    {97, "Overdrive cancel indicator light circuit failure"},
    {98, "Electronic Pressure Control (EPC) circuit failure"},
    {99, "Electronic Pressure Control (EPC) circuit failure"},
    {111, "System Pass"},
    {112, "IAT (ACT) circuit below minimum voltage; reads about 254 deg F"},
    {113, "IAT (ACT) circuit above maximum voltage; reads about -40 deg F"},
    {114, "IAT (ACT) out of self test range"},
    {116, "ECT out of self test range"},
    {117, "ECT circuit below minimum voltage; reads about 254 deg F"},
    {118, "ECT circuit above maximum voltage; reads about -40 deg F"},
    {121, "Closed throttle voltage higher or lower than expected"},
    {122, "TPS circuit below minimum voltage"},
    {123, "TPS circuit above maximum voltage"},
    {124, "TPS voltage higher than expected"},
    {125, "TPS voltage lower than expected"},
    {126, "MAP/BARO sensor reading higher or lower than expected"},
    {128, "MAP sensor vacuum hose damaged or off"},
    {129, "Insufficient MAP or MAF change during the dynamic response test"},
    {136, "Oxygen sensor not switching, shows lean (left side)"},
    {137, "Oxygen sensor not switching, shows rich (left side)"},
    {138, "Cold start injector flow insufficient (engines with a cold start injector)"},
    {139, "No oxygen sensor switching seen (left side)"},
    {144, "No oxygen sensor switching seen (right side or single sensor)"},
    {157, "MAF circuit below minimum voltage"},
    {158, "MAF circuit above maximum voltage"},
    {159, "MAF reading higher or lower than expected during the test"},
    {167, "Insufficient throttle position change during the dynamic response test"},
    {171, "Fuel system at its adaptive limit; oxygen sensor cannot switch (right side)"},
    {172, "Oxygen sensor not switching, shows lean (right side)"},
    {173, "Oxygen sensor not switching, shows rich (right side)"},
    {174, "Oxygen sensor switching slowly (right side)"},
    {175, "Fuel system at its adaptive limit; oxygen sensor cannot switch (left side)"},
    {176, "Oxygen sensor not switching, shows lean (left side)"},
    {177, "Oxygen sensor not switching, shows rich (left side)"},
    {178, "Oxygen sensor switching slowly (left side)"},
    {179, "Fuel system at lean adaptive limit at part throttle; system rich (right side)"},
    {181, "Fuel system at rich adaptive limit at part throttle; system lean (right side)"},
    {182, "Fuel system at lean adaptive limit at idle; system rich (right side)"},
    {183, "Fuel system at rich adaptive limit at idle; system lean (right side)"},
    {184, "MAF reading higher than expected"},
    {185, "MAF reading lower than expected"},
    {186, "Injector pulse width higher than expected (depends on the engine)"},
    {187, "Injector pulse width lower than expected (depends on the engine)"},
    {188, "Fuel system at lean adaptive limit at part throttle; system rich (left side)"},
    {211, "PIP circuit failure"},
    {212, "Loss of IDM input to the computer, or SPOUT circuit grounded"},
    {213, "SPOUT circuit open"},
    {214, "CID (cylinder identification) circuit failure"},
    {311, "Secondary air (thermactor) system not working during the test (right side)"},
    {312, "Secondary air misdirected during the test"},
    {313, "Secondary air not bypassed during the test"},
    {314, "Secondary air (thermactor) system not working during the test (left side)"},
    {326, "EGR pressure (PFE/DPFE) circuit voltage lower than expected"},
    {327, "EGR sensor (EVP/PFE/DPFE) circuit below minimum voltage"},
    {328, "EGR valve position (EVP) closed voltage lower than expected"},
    {332, "Insufficient EGR flow; EGR valve not opening"},
    {334, "EGR valve position (EVP) closed voltage higher than expected"},
    {335, "EGR pressure (PFE/DPFE) sensor voltage out of range during the test"},
    {336, "Exhaust pressure high, or EGR pressure (PFE) voltage higher than expected"},
    {337, "EGR sensor (EVP/PFE/DPFE) circuit above maximum voltage"},
    {341, "Octane adjust service pin in use (shorting bar open)"},
    {411, "Idle speed control cannot bring RPM to the low test speed"},
    {412, "Idle speed control cannot raise RPM to the high test speed"},
    {415, "Idle air control at its lowest adaptive limit"},
    {416, "Idle air control at its highest adaptive limit"},
    {452, "Insufficient input from the vehicle speed sensor"},
    {511, "EEC processor read only memory test failed"},
    {512, "Keep alive memory (KAM) test failed"},
    {513, "Failure in the EEC processor's internal voltage"},
    {519, "Power steering pressure switch circuit open"},
    {521, "Power steering pressure switch did not change state during the test"},
    {522, "Vehicle not in park or neutral during the test, or neutral/drive switch open"},
    {524, "Low speed fuel pump circuit open (depends on the engine)"},
    {525, "Vehicle in gear or A/C on during the test"},
    {526, "Neutral pressure switch circuit closed, or A/C on (depends on the engine)"},
    {527, "Park/neutral position switch open, or A/C on during the test"},
    {528, "Clutch pedal position switch circuit failure"},
    {529, "Data communication link to the computer failed (depends on the engine)"},
    {536, "Brake on/off switch circuit failure or not pressed during the test"},
    {538, "Insufficient RPM change during the dynamic response test (operator error)"},
    {539, "A/C or defrost on during the test"},
    {542, "Fuel pump secondary circuit failure (computer to ground)"},
    {543, "Fuel pump secondary circuit failure (battery to fuel pump)"},
    {552, "Secondary air bypass (AIRB) solenoid circuit failure"},
    {553, "Secondary air diverter (AIRD) solenoid circuit failure"},
    {556, "Fuel pump relay primary circuit failure"},
    {558, "EGR vacuum regulator (EVR) circuit failure"},
    {563, "High speed fan control circuit failure"},
    {564, "Fan control circuit failure"},
    {565, "Canister purge circuit failure"},
    {566, "3-4 shift solenoid circuit failure (A4LD)"},
    {617, "1-2 shift error"},
    {618, "2-3 shift error"},
    {619, "3-4 shift error"},
    {621, "Shift solenoid 1 circuit failure"},
    {622, "Shift solenoid 2 circuit failure"},
    {623, "Transmission control indicator lamp circuit failure"},
    {624, "Electronic Pressure Control (EPC) circuit failure"},
    {625, "Electronic Pressure Control (EPC) driver open circuit"},
    {626, "Coast clutch solenoid circuit failure"},
    {627, "Torque converter clutch solenoid circuit failure"},
    {628, "Excessive torque converter clutch slip"},
    {629, "Torque converter clutch control circuit failure"},
    {632, "Overdrive cancel switch did not change state during the test"},
    {633, "4x4 low switch closed during the test"},
    {634, "Transmission range sensor voltage out of range, or not in park (depends on the engine)"},
    {636, "Transmission fluid temperature out of self test range"},
    {637, "Transmission fluid temperature circuit above maximum voltage (open)"},
    {638, "Transmission fluid temperature circuit below minimum voltage (grounded)"},
    {639, "Insufficient input from the transmission speed sensor"},
    {641, "Shift solenoid 3 circuit failure"},
    {643, "Torque converter clutch circuit failure"},
    {652, "Modulated torque converter clutch solenoid circuit failure"},
    {654, "Transmission range sensor not showing park during the test"},
    {656, "Torque converter clutch slipping continuously"},
    {657, "Transmission fluid over temperature occurred"},
    {667, "Transmission range sensor circuit below minimum voltage"},
    {668, "Transmission range sensor circuit above maximum voltage"},
    {998, "Hard fault present; the computer runs on its failure mode defaults"},
};

// Every entry must be a code the lamp can send (two or three digits), in
// rising order so that no code appears twice and silently replaces another,
// with a text the window can show: plain printable ASCII, as the texts are
// read as Latin-1 and written into one line of the code list.
constexpr bool WellFormed(const KnownCode (&codes)[std::size(kKnownCodes)]) {
    int previous = 0;
    for (const KnownCode& known : codes) {
        if (known.code < 10 || known.code >= CodeTable::kSize || known.code <= previous)
            return false;
        previous = known.code;
        if (known.text == nullptr || known.text[0] == '\0') return false;
        for (const char* c = known.text; *c != '\0'; ++c)
            if (*c < ' ' || *c > '~') return false;
    }
    return true;
}
static_assert(WellFormed(kKnownCodes),
              "every known code needs two or three digits, its own place in rising order "
              "and a printable text");

}  // namespace

void CodeTable::FillCodeTable() {
    for (QString& text : m_texts) text.clear();
    for (const KnownCode& known : kKnownCodes)
        m_texts[static_cast<std::size_t>(known.code)] = QString::fromLatin1(known.text);
}

const QString& CodeTable::CodeText(int code) const {
    static const QString kNone;
    if (code < 0 || code >= kSize) return kNone;
    return m_texts[static_cast<std::size_t>(code)];
}

}  // namespace quarn
