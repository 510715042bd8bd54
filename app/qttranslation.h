// Qt's own texts (file dialogs, Yes and No) in Japanese like the rest of the
// program, when the distribution's translations are installed.
#pragma once

class QCoreApplication;

// Installs Qt's Japanese translation into APP; false when it is not there.
bool installQtTranslation(QCoreApplication& app);
