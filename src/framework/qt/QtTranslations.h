#pragma once

// Loads Qt's own Chinese texts (file dialogs, context menus, standard buttons) from
// Qt's translations folder; the program speaks Chinese whatever the locale. False
// when they are not installed: Qt's texts then stay English.
bool InstallQtTranslations();
