// The windows' set-up; see setup.h.
#include "app/setup.h"

#include "app/dbv.h"
#include "app/ddbv.h"
#include "app/query.h"
#include "app/startup.h"
#include "dbclient/result.h"
#include "forms/besrec.h"
#include "forms/cmb.h"
#include "forms/forms.h"
#include "forms/inputs.h"
#include "widgets/dbtabbox.h"
#include "widgets/goodies.h"
#include "widgets/mytabs.h"

namespace {

void alert(const char *first, const char *reason) {
  myfl_show_alert(first, alert_reason(reason).c_str(), "", 1);
}

// The server's databases, from "SHOW DATABASES;" on the session's
// connection; alerts when they cannot be read.
std::vector<std::string> server_databases() {
  std::vector<std::string> names;
  DBconn *conn = pBESREC->handle->conn;
  DBresult *res = DBexec(conn, "SHOW DATABASES;");
  if (!res) {
    // Without a result the connection says why.
    alert("Error during change of database!", DBerrorMessage(conn));
    return names;
  }
  int status = DBresultStatus(res);
  if (status != DB_TUPLES_OK && status != DB_NOT_ALL_DATA) {
    alert("Existing databases could not be read!", DBresultErrorMessage(res));
  } else {
    for (int r = 0; r < DBntuples(res); r++) names.push_back(DBgetvalue(res, r, 0));
  }
  DBclear(res);
  return names;
}

void set_up_main_window() {
  FD_DBV *fd = fd_DBV;
  std::string name = std::string(TORVANE_TITLE) + "\n";
  myfl_set_form_data(fd->DBV, FORMTYPE_GLOBAL, name.c_str());
  myfl_init_helpdialog(fd->DBV, fd->help, "DBV_HLP");
  myfl_define_shortcut(fd->execute_select, "^u^U", 1);
  DBV_bind_table(fd->DBV, fd->tabbox, "DBV", nullptr, DBV_dblclick);
  myfl_define_focus_first(fd->DBV, fd->table);
  myfl_define_ctrl_tabbox(fd->DBV, fd->tabbox);
  myfl_init_input(fd->table, 255);
  myfl_init_input(fd->attributes, 256);
  myfl_init_input(fd->clause, 612);
  myfl_init_input(fd->sql, 1024);
  myfl_define_shortcut(fd->execute_sql, "^S^s", 1);
  myfl_define_shortcut(fd->select_add, "^A^a", 1);
  myfl_define_shortcut(fd->sql_add, "^d^d", 1);
  for (FL_OBJECT *saved : {fd->select_saved, fd->sql_saved}) {
    myfl_set_button(saved, 0);
    fl_deactivate_object(saved);
  }
}

void set_up_selector() {
  DB_CHOICES choices = database_choices(server_databases());
  FD_DBV *fd = fd_DBV;
  fd->db_in_use = start_database();
  myfl_init_data_cmb(pBESREC, fd->DBV, fd->database, fd->database_button, choices.entries.c_str(),
                     0);
  myfl_set_cmb_code(fd->database, choices.default_name.c_str());
  myfl_set_cmb_callback(fd->database, DBV_CB_Database);
  DBV_CB_Database(fd->database, 0);
}

void set_up_detail_window() {
  FD_DDBV *fd = fd_DDBV;
  myfl_set_form_data(fd->DDBV, FORMTYPE_GLOBAL, "Dadazudi-Zudeda-Detail");
  myfl_init_helpdialog(fd->DDBV, fd->help, "DDBV_HLP");
  myfl_define_shortcut(fd->loeschen, "^L^l", 1);
  myfl_define_shortcut(fd->update, "^U^u", 1);
  DBV_bind_table(fd->DDBV, fd->tabbox, "DDBV", nullptr, DDBV_dblclick);
  myfl_define_ctrl_tabbox(fd->DDBV, fd->tabbox);
  myfl_init_input(fd->wert, 4000);
  fl_set_input_return(fd->wert, FL_RETURN_END_CHANGED);
}

}  // namespace

DB_CHOICES database_choices(const std::vector<std::string> &names) {
  DB_CHOICES c;
  for (const std::string &n : names) {
    if (!c.entries.empty()) c.entries += '|';
    c.entries += n + "," + n;
    if (n == "KVSYS") c.default_name = n;
  }
  if (c.default_name.empty() && !names.empty()) c.default_name = names.back();
  return c;
}

void myfl_init_forms(void) {
  myfl_set_applname("torvane");
  set_up_main_window();
  set_up_selector();
  set_up_detail_window();
  fl_set_atclose(Close_Ignore, nullptr);
  myfl_set_form_atclose(fd_DBV->DBV, DBV_AtClose, nullptr);
  myfl_set_form_atclose(fd_DDBV->DDBV, DDBV_AtClose, nullptr);
}
