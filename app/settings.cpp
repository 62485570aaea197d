#include "app/settings.h"

Settings g_settings;

void ApplyLoadRules(Settings* s) {
  if (s->ErrorLength <= 0) s->ErrorLength = kDefaultErrorLength;
  s->SkipJunk = s->SkipJunk != 0 ? 1 : 0;
}
