// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRgb>
#include <QRect>
#include <span>

// One control of the window as it opens. Positions are in twips (15 to the
// pixel), as the window was designed.
struct ControlSpec
{
    enum Kind { TextBox, Button, Label, Image, PictureBox };
    enum Flag : unsigned {
        Hidden = 1,
        Disabled = 2,
        Centred = 4,
        AutoSize = 8,
        Transparent = 16,
        Border = 32,
        IconPointer = 64,
    };
    static constexpr qint64 NoColour = -1;

    const char *name;
    Kind kind;
    int left, top, width, height;
    const char *text;
    const char *font; // nullptr for the default font
    double points;
    bool bold;
    bool italic;
    qint64 fore; // 0xRRGGBB or NoColour
    qint64 back;
    int tab; // -1 where the control has no place in the tab order
    unsigned flags;
    int maxLength; // 0 for no limit
    const char *tip;

    QRect pixels() const;
};

// Every control, front to back: one drawn earlier covers the ones after it.
std::span<const ControlSpec> controlTable();

// The font used where a control names none.
inline constexpr const char *kDefaultFont = "MS Sans Serif";
inline constexpr double kDefaultPoints = 8.25;
