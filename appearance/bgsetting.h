// The background setting in the settings store: "Gradation" (the kind: -1
// automatic, 0 none, 1..9 built-in gradient, otherwise own picture),
// "BGPicture" (the own picture's path) and "LabelColor" (0x00BBGGRR), the
// numbers as signed decimal text.
// Fixed names: the names here that the program's design fixes keep their spelling (doc/HACKING.md).
#pragma once

#include <QString>
#include <cstdint>

class SettingsStore;

// Reads the setting. The kind and the path start from their defaults
// (automatic, empty) and the label colour keeps its value; a value that is
// absent or empty leaves its field so, and a number that does not read as one
// counts as 0. False, with the defaults in place, when the store cannot be
// opened.
bool bLoadBGSetting(SettingsStore& store, std::int32_t& nGradation, QString& strBGPicture, std::int32_t& nLabelColor);

// Writes the setting; false when the store cannot be opened or a value cannot
// be stored.
bool bSaveBGSetting(
    SettingsStore& store, std::int32_t nGradation, const QString& strBGPicture, std::int32_t nLabelColor);
