// SPDX-License-Identifier: GPL-3.0-or-later
// What the teacher's page sends, read and checked.
#pragma once

#include "host/classsettings.h"

#include <QByteArray>
#include <QSet>
#include <QString>

// One message of the teacher's page, checked for its command and the types
// and ranges of its fields; anything else is Invalid with a one-line
// reason. Every message may carry "id", a whole number the answer repeats.
//
//   {"t":"login","key":"ABCD-EFGH-..."}
//   {"t":"create","name":"3年1組","list":"小学3-4年.txt","timeOn":true,"time":60,
//    "answersOn":true,"answers":5}
//   ... with "saved":true for a list the teachers made on the host,
//   ... or "upload":true in place of "list": the file sent before it in parts,
//   {"t":"upload","name":"mylist.txt","part":0,"last":false,"data":"<base64>"}
//   {"t":"pair","class":1,"shuffle":false}   {"t":"swap","class":1,"a":3,"b":4}
//   {"t":"remove","class":1,"child":3}       {"t":"start","class":1,"oneDeal":true}
//   {"t":"end","class":1}  {"t":"release","class":1}  {"t":"close","class":1}
//   {"t":"past"}  {"t":"results","game":1}  {"t":"delete","game":1}
//   {"t":"makelist","grades":[1,2],"kanji":"山川田"}  (grades, kanji or both)
//   {"t":"savelist","name":"2年の漢字","grades":[1,2],"kanji":"","replace":false}
//   {"t":"deletelist","name":"2年の漢字"}
//   {"t":"logout"}  {"t":"ping"}
struct TeacherCommand
{
    enum Kind { Invalid, Login, Upload, Create, Pair, Swap, Remove, Start, End, Release, Close, Past, Results, Delete,
                MakeList, SaveList, DeleteList, Logout, Ping };

    Kind kind = Invalid;
    qint64 id = -1;
    QString key;            // Login
    ClassSettings settings; // Create (listName: the bundled list's name)
    bool upload = false;    // Create: the uploaded file rather than a bundled list
    bool saved = false;     // Create: a list the teachers made rather than a bundled one
    QString fileName;       // Upload: the file's own name, without any path
    int part = 0;           // Upload: 0, 1, 2 ...
    bool last = false;      // Upload
    QByteArray bytes;       // Upload: this part's
    qint64 classId = -1;    // Pair ... Close
    qint64 gameId = -1;     // Results, Delete
    qint64 a = -1, b = -1;  // Swap: children
    qint64 child = -1;      // Remove
    bool shuffle = false;   // Pair
    bool oneDeal = false;   // Start
    QSet<int> grades;       // MakeList, SaveList: school grades 1 to 7
    QString kanji;          // MakeList, SaveList: the kanji pasted
    QString listName;       // SaveList, DeleteList
    bool replace = false;   // SaveList
    QString refusal;        // Invalid: why
};

namespace TeacherMessage {

// An upload comes in parts of at most this many bytes (before base64).
constexpr int MaxPartBytes = 24 * 1024;
constexpr int MaxBytes = 64 * 1024;

TeacherCommand parse(const QByteArray &utf8);

} // namespace TeacherMessage
