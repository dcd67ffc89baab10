// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls.h"

#include "countdown.h"

#include <QtMath>

namespace {

using C = ControlSpec;
constexpr qint64 none = C::NoColour;

constexpr ControlSpec kControls[] = {
    {"Txtnome1", C::TextBox, 8280, 3720, 1335, 615, "Text8", nullptr, 0, false, false, none, none, 37, C::Hidden, 0, nullptr},
    {"Text7", C::TextBox, 4560, 3480, 1095, 1095, "Text7", nullptr, 0, false, false, none, none, 33, C::Hidden, 0, nullptr},
    {"Text6", C::TextBox, 10320, 5760, 2415, 1095, "Text6", nullptr, 0, false, false, none, none, 32, C::Hidden, 0, nullptr},
    {"Command3", C::Button, 4320, 1920, 975, 435, "verifica", nullptr, 0, false, false, none, none, 12, C::Hidden, 0, nullptr},
    {"Picture1", C::PictureBox, 4080, 1680, 975, 1095, "", nullptr, 0, false, false, 0xB4B4B4, 0xB4B4B4, 11, C::Hidden, 0, nullptr},
    {"Text3", C::TextBox, 3120, 5040, 6855, 1125, "Text3", "Arial", 48, false, false, 0x0000FF, 0xFFFF80, 3, C::Centred, 250,
     "Scrivi il numero e poi premi  il tasto Return (Invio)"},
    {"Text1", C::TextBox, 3600, 2040, 1935, 405, "0", "MS Sans Serif", 12, true, false, none, 0xFF80FF, 1, C::Hidden, 12, nullptr},
    {"cmdNext", C::Button, 3120, 6360, 1815, 855, "&Nuovo calcolo", "MS Sans Serif", 8.25, true, false, none, 0xFF80FF, 4,
     C::Disabled | C::IconPointer, 0, "Usa il tasto Return(invio) per l'esercizio successivo"},
    {"cmdExit1", C::Button, 8160, 6360, 1815, 855, "E&xit", "MS Sans Serif", 8.25, true, false, none, 0x00C0C0, 0, 0, 0,
     "Ti prego resta ancora, forse riuscirai a farmi uscire "},
    {"lblMessage", C::Label, 6360, 2040, 1305, 1275, "io", "MS Sans Serif", 24, true, true, 0xFF0000, 0x00FFFF, 36,
     C::Centred | C::AutoSize | C::Transparent | C::IconPointer, 0, nullptr},
    {"lblconto", C::Label, 9360, 1200, 1575, 375, kStartCaption.data(), "Arial Black", 12, true, false, 0xFFFF00, 0x8080FF, 35,
     C::Border | C::Centred, 0, nullptr},
    {"lblNum1", C::Label, 3840, 0, 345, 1185, "", "Arial", 48, true, false, none, 0x00FFFF, 30,
     C::Hidden | C::Border | C::Centred | C::AutoSize, 0, nullptr},
    {"Label10", C::Label, 5640, 120, 615, 975, "X", "Arial", 48, false, false, none, 0x80FFFF, 29, C::Hidden | C::Centred, 0, nullptr},
    {"lblNum2", C::Label, 7560, 0, 345, 1185, "", "Arial", 48, true, false, none, 0x00FFFF, 27,
     C::Hidden | C::Border | C::Centred | C::AutoSize, 0, nullptr},
    {"Image1", C::Image, 9885, 120, 480, 480, "", nullptr, 0, false, false, none, none, -1, 0, 0,
     "Clicca sotto di me per impostare il Timer"},
    {"Label11", C::Label, 9270, 720, 1815, 615, "Tempo restante", "Times New Roman", 14.25, false, false, 0xFFFF00, none, 26,
     C::Transparent, 0, nullptr},
    {"Label14", C::Label, 120, 6360, 1425, 420, "Sfidante", "MS Sans Serif", 13.5, false, false, 0xFFFF00, none, 25,
     C::Border | C::Centred | C::AutoSize | C::Transparent, 0, nullptr},
    {"lblnome1", C::Label, 120, 7200, 645, 420, "", "MS Sans Serif", 13.5, true, false, 0xFFFF00, none, 24,
     C::Border | C::AutoSize | C::Transparent, 0, nullptr},
    {"Label12", C::Label, 120, 7680, 2295, 375, "Il record  \u00e8 di ", "MS Sans Serif", 18, false, false, 0xC000C0, none, 23,
     C::Transparent, 0, nullptr},
    {"lblnome", C::Label, 2400, 7680, 990, 435, "nome", "MS Sans Serif", 18, true, false, 0x0000FF, none, 22,
     C::AutoSize | C::Transparent, 0, nullptr},
    {"Label13", C::Label, 6000, 7680, 1455, 435, "con punti", "MS Sans Serif", 18, false, false, 0xC000C0, none, 21,
     C::AutoSize | C::Transparent, 0, nullptr},
    {"lblpunti", C::Label, 7680, 7680, 195, 435, "0", "MS Sans Serif", 18, false, false, 0xC000C0, none, 20,
     C::AutoSize | C::Transparent, 0, nullptr},
    {"Label1", C::Label, 360, 1560, 2595, 555, "Risposte errate", "Times New Roman", 21.75, false, false, 0xFF0000, none, 9,
     C::Border | C::AutoSize | C::Transparent, 0, nullptr},
    {"Label3", C::Label, 360, 2880, 2505, 555, "Risposte totali", "Times New Roman", 21.75, false, false, 0x0000FF, none, 10,
     C::Border | C::AutoSize | C::Transparent, 0, nullptr},
    {"lblScore2", C::Label, 1560, 3600, 315, 540, "0", "Times New Roman", 21.75, true, false, 0x0000FF, none, 8,
     C::Border | C::Centred | C::AutoSize | C::Transparent, 0, nullptr},
    {"lblScore1", C::Label, 1560, 2160, 300, 540, "0", "Times New Roman", 21.75, true, false, 0xFF0000, none, 5,
     C::Border | C::Centred | C::AutoSize | C::Transparent, 0, nullptr},
    {"lblScore", C::Label, 1440, 840, 315, 540, "0", "Times New Roman", 21.75, true, false, 0xFFFF80, 0xFFFF00, 6,
     C::Border | C::Centred | C::AutoSize | C::Transparent, 0, "Questo \u00e8 il tuo punteggio. Forza con il  record"},
    {"Label6", C::Label, 360, 240, 2625, 555, "Risposte esatte", "Times New Roman", 21.75, false, false, 0xFFFF80, 0xE0E0E0, 7,
     C::Border | C::Centred | C::AutoSize | C::Transparent, 0, nullptr},
};

} // namespace

QRect ControlSpec::pixels() const
{
    return QRect(qRound(left / 15.0), qRound(top / 15.0), qRound(width / 15.0), qRound(height / 15.0));
}

std::span<const ControlSpec> controlTable()
{
    return kControls;
}
