// The object descriptions for the manual; see objdata.h.
#include "forms/objdata.h"

#include "base/containers.h"
#include "base/mem.h"
#include "base/msglog.h"
#include "forms/forms.h"

namespace {

// How many arguments each code needs.
int needed_args(int code) {
  switch (code) {
    case OBJDATA_INPUT:
    case OBJDATA_CMB:
    case OBJDATA_TABBOX:
    case OBJDATA_SHORTCUT: return 1;
    default: return 0;
  }
}

OBJDATA *record_for(FL_OBJECT *object) {
  intptr_t value = 0;
  if (ltsearch(Data, reinterpret_cast<intptr_t>(object), &value))
    return reinterpret_cast<OBJDATA *>(value);
  OBJDATA *rec = static_cast<OBJDATA *>(mymalloc(sizeof(OBJDATA)));
  *rec = OBJDATA{object, 0, -1, nullptr, nullptr, 0, 0, nullptr, 0};
  ltinsert(&Data, reinterpret_cast<intptr_t>(object), reinterpret_cast<intptr_t>(rec));
  return rec;
}

void replace_text(char **field, intptr_t text) {
  myfree(*field);
  *field = mystrdup(reinterpret_cast<const char *>(text));
}

}  // namespace

int add_obj_data(FL_OBJECT *object, int code, int nargs, intptr_t a1, intptr_t a2, intptr_t,
                 intptr_t) {
  if (code < 0 || code > OBJDATA_MAXCODE) {
    Log_Msg("(myfl_add_obj_data) Unknown datatype-code %d!\n", code);
    Msglog_Exit(1);
  }
  // A number may be 0; a text or function must be there.
  bool missing = nargs < needed_args(code) || (code != OBJDATA_INPUT && needed_args(code) && !a1);
  if (missing) {
    Log_Msg("(add_obj_data) Parameter missing (code %d)!\n", code);
    Msglog_Exit(1);
  }
  OBJDATA *rec = record_for(object);
  rec->codes |= 1u << code;
  switch (code) {
    case OBJDATA_INPUT: rec->maxchars = static_cast<int32_t>(a1); break;
    case OBJDATA_CMB:
      rec->cmb_kind = "Fixdaten";
      replace_text(&rec->cmb_data, a1);
      break;
    case OBJDATA_TABBOX:
      rec->attribs = a1;
      rec->constructor = nargs >= 2 ? a2 : 0;
      break;
    case OBJDATA_SHORTCUT: replace_text(&rec->shortcut, a1); break;
    case OBJDATA_TBVIEW: rec->tbview = 1; break;
    default: break;
  }
  return 1;
}

int myfl_add_obj_data0(FL_OBJECT *object, int code) { return add_obj_data(object, code, 0); }

int myfl_add_obj_data1(FL_OBJECT *object, int code, intptr_t a1) {
  return add_obj_data(object, code, 1, a1);
}

int myfl_add_obj_data2(FL_OBJECT *object, int code, intptr_t a1, intptr_t a2) {
  return add_obj_data(object, code, 2, a1, a2);
}

OBJDATA *myfl_get_obj_data(FL_OBJECT *object) {
  intptr_t value = 0;
  return ltsearch(Data, reinterpret_cast<intptr_t>(object), &value)
             ? reinterpret_cast<OBJDATA *>(value)
             : nullptr;
}
