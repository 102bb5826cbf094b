// Keyboard mnemonics (Alt+letter) for every labelled button of a window or page.
// A label that already marks its letter with "&" keeps it; every other button
// gets the first free letter of its label, a word's first letter before the
// others, so no two buttons of one page share a letter. The shown text stays
// the same (Qt underlines the letter and draws no "&").
#pragma once

#include <QString>

class QWidget;

namespace tavrel::ui {

// The letter a label marks with "&" (lower case), or a null QChar.
QChar mnemonicOf(const QString& label);

// The label as shown: "&" marks dropped, "&&" read as one "&".
QString plainLabel(const QString& label);

// Gives mnemonics to the buttons (push, check, radio, tool buttons with text)
// below root, including dialog button boxes.
void giveMnemonics(QWidget* root);

}  // namespace tavrel::ui
