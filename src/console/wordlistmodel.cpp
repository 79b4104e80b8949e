// SPDX-License-Identifier: GPL-3.0-or-later
#include "wordlistmodel.h"

#include "engine/wordlist.h"

#include <limits>

WordListModel::WordListModel(const WordList &words, QObject *parent)
    : QAbstractListModel(parent)
    , m_words(words)
{
}

int WordListModel::rowCount(const QModelIndex &parent) const
{
    if (parent.isValid())
        return 0;
    return int(qMin<qsizetype>(m_words.size(), std::numeric_limits<int>::max()));
}

QVariant WordListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount() || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return m_words.at(index.row());
}

void WordListModel::refresh()
{
    beginResetModel();
    endResetModel();
}
