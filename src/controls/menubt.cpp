// SPDX-License-Identifier: GPL-3.0-or-later
#include "menubt.h"

#include <QDir>
#include <QMenu>

// A menu longer than this is useless to an operator and slow to build; the
// rest of a huge folder is summarised in one disabled entry.
static constexpr int MaxEntries = 400;

MenuBT::MenuBT(QWidget *parent)
    : QToolButton(parent)
    , m_menu(new QMenu(this))
{
    setPopupMode(QToolButton::InstantPopup);
    setToolButtonStyle(Qt::ToolButtonTextOnly);
    setMenu(m_menu);
    connect(m_menu, &QMenu::aboutToShow, this, &MenuBT::refreshEntries);
}

void MenuBT::BuildMenu()
{
    refreshEntries();
}

void MenuBT::refreshEntries()
{
    m_menu->clear();
    const QDir folder(m_folderPath);
    QStringList names;
    if (!m_folderPath.isEmpty() && folder.exists()) {
        const QString pattern = (m_pattern == QLatin1String("*.*") || m_pattern.isEmpty())
            ? QStringLiteral("*") : m_pattern;
        names = folder.entryList({pattern}, QDir::Files | QDir::Readable,
                                 QDir::Name | QDir::IgnoreCase);
    }
    if (names.isEmpty()) {
        const QString why = folder.exists() && !m_folderPath.isEmpty()
            ? QStringLiteral("（ファイルがありません）") : QStringLiteral("（フォルダがありません）");
        m_menu->addAction(why)->setEnabled(false);
        return;
    }
    for (int i = 0; i < names.size() && i < MaxEntries; ++i) {
        const QString name = names.at(i);
        // "&" would otherwise mark a shortcut key.
        QAction *entry = m_menu->addAction(QString(name).replace(QLatin1Char('&'), QStringLiteral("&&")));
        connect(entry, &QAction::triggered, this, [this, name] { choose(name); });
    }
    if (names.size() > MaxEntries)
        m_menu->addAction(QStringLiteral("（ほか %1 ファイル）").arg(names.size() - MaxEntries))->setEnabled(false);
}

void MenuBT::choose(const QString &fileName)
{
    QString folder = m_folderPath;
    if (!folder.endsWith(QLatin1Char('/')) && !folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    m_filePath = folder + fileName;
    emit FileChosen();
}
