#pragma once
// A temporary folder per test, removed afterwards; every file a test writes
// goes here, never into the user's folders.
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class TempDirTest : public ::testing::Test {
protected:
    QTemporaryDir m_tmp;
    QString path(const QString& name) const { return QDir(m_tmp.path()).filePath(name); }
};
