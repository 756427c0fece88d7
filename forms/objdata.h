// The object descriptions from which the HTML manual of the windows is
// generated: while the application and the framework set up their objects
// (input limits, combo boxes, tabbox bindings, shortcuts, the viewer
// tabbox), each set-up call records what it did in a description record of
// the object.  The records live in the Data registry (forms.h), keyed by the
// object, one per object, created on its first record and never released.
#ifndef FORMS_OBJDATA_H
#define FORMS_OBJDATA_H

#include <cstdint>

typedef struct FL_OBJECT_ FL_OBJECT;

// Record codes used by this system.
enum {
  OBJDATA_INPUT = 8,      // maximum characters of an input or editor
  OBJDATA_CMB = 11,       // a combo filled from a data string
  OBJDATA_TABBOX = 19,    // a database tabbox: attribute function [, constructor]
  OBJDATA_SHORTCUT = 25,  // the object's shortcut text
  OBJDATA_TBVIEW = 27,    // the viewer tabbox: shows the current data object
  OBJDATA_MAXCODE = 31
};

struct OBJDATA {
  FL_OBJECT *object;
  uint32_t codes;        // bit n set once code n was recorded
  int32_t maxchars;      // code 8; -1 until recorded
  const char *cmb_kind;  // code 11: "Fixdaten"; null otherwise
  char *cmb_data;        // code 11: own copy of the data string
  intptr_t attribs;      // code 19: the row type's attribute function
  intptr_t constructor;  // code 19: its constructor, 0 when not given
  char *shortcut;        // code 25: own copy of the shortcut text
  int32_t tbview;        // code 27: 1
};

// Records code with nargs arguments (at most four; texts and functions are
// passed as their addresses) for object; a repeated code replaces the
// earlier value.  Returns 1.  A code outside 0 ... 31 ends the process with
// "(myfl_add_obj_data) Unknown datatype-code %d!\n", a missing or null
// argument that the code needs with "(add_obj_data) Parameter missing (code
// %d)!\n".
int add_obj_data(FL_OBJECT *object, int code, int nargs, intptr_t a1 = 0, intptr_t a2 = 0,
                 intptr_t a3 = 0, intptr_t a4 = 0);
int myfl_add_obj_data0(FL_OBJECT *object, int code);
int myfl_add_obj_data1(FL_OBJECT *object, int code, intptr_t a1);
int myfl_add_obj_data2(FL_OBJECT *object, int code, intptr_t a1, intptr_t a2);

// The description record of object (owned by the registry), or null.
OBJDATA *myfl_get_obj_data(FL_OBJECT *object);

#endif
