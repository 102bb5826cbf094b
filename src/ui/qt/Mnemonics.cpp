#include "ui/qt/Mnemonics.h"

#include <QAbstractButton>
#include <QLabel>
#include <QSet>
#include <QWidget>

namespace tavrel::ui {

QChar mnemonicOf(const QString& label) {
    for (qsizetype i = 0; i + 1 < label.size(); ++i) {
        if (label[i] != QLatin1Char('&')) continue;
        if (label[i + 1] != QLatin1Char('&')) return label[i + 1].toLower();
        ++i;  // "&&" is a literal "&"
    }
    return {};
}

QString plainLabel(const QString& label) {
    QString shown;
    for (qsizetype i = 0; i < label.size(); ++i) {
        if (label[i] == QLatin1Char('&') && i + 1 < label.size()) ++i;
        shown += label[i];
    }
    return shown;
}

void giveMnemonics(QWidget* root) {
    if (!root) return;
    const QList<QAbstractButton*> buttons = root->findChildren<QAbstractButton*>();
    QSet<QChar> used;
    // A label's letter leads to its field: no button takes it.
    for (const QLabel* l : root->findChildren<QLabel*>())
        if (l->buddy())
            if (const QChar c = mnemonicOf(l->text()); !c.isNull()) used.insert(c);
    for (const QAbstractButton* b : buttons)
        if (const QChar c = mnemonicOf(b->text()); !c.isNull()) used.insert(c);
    for (QAbstractButton* b : buttons) {
        const QString text = b->text();
        if (text.isEmpty() || !mnemonicOf(text).isNull()) continue;
        // Word starts first, then any other letter or digit, then any other
        // visible character ("..." gets Alt+.).
        qsizetype at = -1;
        for (int pass = 0; pass < 3 && at < 0; ++pass) {
            for (qsizetype i = 0; i < text.size() && at < 0; ++i) {
                const QChar c = text[i];
                if (c.isSpace() || c == QLatin1Char('&') || used.contains(c.toLower())) continue;
                const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
                if ((pass == 0 && c.isLetterOrNumber() && wordStart) || (pass == 1 && c.isLetterOrNumber()) || pass == 2)
                    at = i;
            }
        }
        if (at < 0) continue;
        used.insert(text[at].toLower());
        QString marked = text;
        marked.insert(at, QLatin1Char('&'));
        b->setText(marked);
    }
}

}  // namespace tavrel::ui
