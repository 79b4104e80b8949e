// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>

class WordList;

// The hidden list box List1 shows the game's word list through this model,
// a row per word in the list's own (sorted) order, read where the list
// lies: a list of millions of words is not copied into strings.
class WordListModel : public QAbstractListModel
{
    Q_OBJECT
public:
    // words must outlive the model.
    explicit WordListModel(const WordList &words, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // The list was replaced.
    void refresh();

private:
    const WordList &m_words;
};
