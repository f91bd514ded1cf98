#pragma once
// Where the configuration store (config.qdr) lives.
//
// Once config.qdr exists in the user's configuration folder it is the store,
// always: the program never switches between two stores. Until then a store
// beside the program is used in place when it can be written there, so a
// portable copy of the program keeps its settings next to it. Otherwise the
// user's store is made: copied from the store beside the program (when there
// is one, and the program says so then, the one time the store changes),
// else from the default installed with the program, else created fresh with
// COM 1.

#include <QString>
#include <functional>

namespace ktv {

struct StoreLocation
{
    QString path;    // the store to read and write
    QString notice;  // to tell the user once; empty when nothing moved
    QString problem; // why the store at path could not be made; empty when it exists
};

// Whether the store file at path can be written where it is: its folder
// accepts a new file and the file opens for writing. Tried for real, since
// file modes say nothing for root and nothing about read-only mounts.
bool canWriteStore(const QString &path);

using StoreWritableCheck = std::function<bool(const QString &path)>;

StoreLocation resolveStoreLocation(const QString &programDir, const QString &userConfigDir,
                                   const QString &packagedDefault,
                                   const StoreWritableCheck &writable = canWriteStore);

// The same, for this program: its own folder, the application's writable
// configuration folder, and <prefix>/share/ktraveld/config.qdr relative to
// <prefix>/bin. Needs the application name set first.
StoreLocation locateStore();

// A new store at path holding COM 1 in "Main Table".
bool createFreshStore(const QString &path, QString *problem);

} // namespace ktv
