#pragma once
// A temporary folder per test, removed afterwards; every file a test writes
// goes here, never into the user's folders.
#include "app/AppOptions.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

class TempDirTest : public ::testing::Test {
protected:
    QTemporaryDir m_tmp;
    QString path(const QString& name) const { return QDir(m_tmp.path()).filePath(name); }
    // The program's paths, all inside the temporary folder.
    AppOptions tempOptions() const
    {
        AppOptions o;
        o.settingsDir = path("ZB740");
        o.configFile = path("KM4471config.ini");
        o.sysfsRoot = path("sys");
        return o;
    }
};
