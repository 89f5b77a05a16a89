#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points HOME and the XDG folders (settings store, data, runtime) at one temporary folder for
// the whole test run. Call it from initMain(), before the application object exists.
inline QTemporaryDir &TestHome()
{
    static QTemporaryDir home;
    return home;
}

inline void UseTemporaryHome()
{
    const QString root = TestHome().path();
    const QString runtime = root + QStringLiteral("/runtime");
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", runtime.toUtf8());
}
