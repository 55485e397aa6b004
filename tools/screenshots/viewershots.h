#pragma once

#include <QString>

// Saves the pictures of the structured views, the CSV delimiter picker and the theme chooser
// into `output`, each under its own name; the application must be running.
void takeViewerShots(const QString &output);
