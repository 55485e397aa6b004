#pragma once

#include "base/message.h"

#include <QString>

// Every user-visible text passes through `loc`: the key is looked up in the string table (the
// key itself when there is no entry), then, when there are arguments, used as a printf-style
// format with %@ for text and %d / %lld for integers.
QString loc(const char *key);
QString loc(const Base::Message &message);
