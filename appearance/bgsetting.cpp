#include "bgsetting.h"

#include "settings/store/store.h"
#include "util/convert.h"

#include <optional>

namespace {

const QString kGradation = QStringLiteral("Gradation");
const QString kBGPicture = QStringLiteral("BGPicture");
const QString kLabelColor = QStringLiteral("LabelColor");

// The value NAME when it is there and not empty. The whole text is taken: a
// path cut short would name another file.
std::optional<QString> readValue(SettingsStore& store, const QString& name)
{
    std::optional<QString> value = store.read(name);
    if (value && value->isEmpty())
        return std::nullopt;
    return value;
}

std::int32_t numberOf(const QString& text)
{
    return static_cast<std::int32_t>(dbToLong(text.toStdString()));
}

} // namespace

bool bLoadBGSetting(SettingsStore& store, std::int32_t& nGradation, QString& strBGPicture, std::int32_t& nLabelColor)
{
    nGradation = -1;
    strBGPicture.clear();
    if (!store.open())
        return false;
    if (const std::optional<QString> value = readValue(store, kGradation))
        nGradation = numberOf(*value);
    if (const std::optional<QString> value = readValue(store, kBGPicture))
        strBGPicture = *value;
    if (const std::optional<QString> value = readValue(store, kLabelColor))
        nLabelColor = numberOf(*value);
    store.close();
    return true;
}

bool bSaveBGSetting(
    SettingsStore& store, std::int32_t nGradation, const QString& strBGPicture, std::int32_t nLabelColor)
{
    if (!store.open())
        return false;
    const bool stored = store.write({ { kGradation, QString::number(nGradation) }, { kBGPicture, strBGPicture },
        { kLabelColor, QString::number(nLabelColor) } });
    store.close();
    return stored;
}
