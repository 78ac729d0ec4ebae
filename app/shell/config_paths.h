#pragma once

#include <QString>

// Where the program keeps its files: the folder "Quelda" in the user's configuration folder
// (XDG_CONFIG_HOME, normally ~/.config), holding kt-config.xml and schedule.xml. Computed afresh at
// every call, so that a changed environment (tests) takes effect at once.

// The user's configuration folder; never empty.
QString appDataPath();
// appDataPath() + "/Quelda".
QString configDirPath();
QString configFilePath();
QString scheduleFilePath();
// Makes the data folder with every missing parent; a folder made here is private to the user
// (0700). True when the folder exists afterwards.
bool makeConfigDir();
