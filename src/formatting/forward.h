#pragma once

namespace Formatting {
class JSONFormatter;
class Validation;
class XMLValidator;
struct ValidationError;
} // namespace Formatting
