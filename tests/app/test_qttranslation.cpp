#include "app/qttranslation.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

TEST(QtTranslation, QtsOwnButtonsSpeakJapanese)
{
    ASSERT_TRUE(installQtTranslation(*QCoreApplication::instance())) << "qt6-translations-l10n is installed by deps.sh";
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), QStringLiteral("はい(&Y)"));
}
