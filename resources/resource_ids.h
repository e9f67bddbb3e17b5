/* Resource identifiers shared by tapwise.rc and the C++ code.
 *
 * Plain #defines only: windres runs this file through the C preprocessor
 * and understands nothing else. The numbers are part of the program's
 * contract (stored value names, the installer's lookups, the uninstaller's
 * icon index, other copies posting CMD_OPEN), so never renumber them.
 */
#ifndef TAPWISE_RESOURCE_IDS_H
#define TAPWISE_RESOURCE_IDS_H

/* String table. Entry 3 is deliberately left empty. */
#define IDS_TITLE             1
#define IDS_HIDE              2
#define IDS_TERMINATE_Q       4
/* 5-12 form stored value names and history file names: changing the text
 * changes where counts are kept. */
#define IDS_CURRENT           5
#define IDS_LAST              6
#define IDS_DAY               7
#define IDS_WEEK              8
#define IDS_MONTH             9
#define IDS_YEAR              10
#define IDS_TOTAL             11
#define IDS_SESSION           12
#define IDS_PRODUCT           13
#define IDS_LINK_URL          14
#define IDS_NEWSESSION_Q      15
#define IDS_RESET_Q           16
#define IDS_INSTALLED_NAME    17
#define IDS_INSTALLED_MSG     18
#define IDS_AUTO              19
#define IDS_UNINST            20
#define IDS_UNINSTALL_ITEM    21
#define IDS_REMOVE_Q          22
#define IDS_UNINSTALLER_NAME  23
#define IDS_GROUP             24
#define IDS_REALLY            25
#define IDS_README_NAME       26
#define IDS_README_ITEM       27
#define IDS_LIBRARY_NAME      28
#define IDS_NO_LIBRARY        29
#define IDS_PRODUCT_URL       30
#define IDS_COPY_HUNG         31
#define IDS_PATH_TOO_LONG     32
#define IDS_LIBRARY_IN_USE    33
#define IDS_COPY_FAILED       34
#define IDS_NEEDS_ADMIN       35
#define IDS_ITEMS_STAYED      36
#define IDS_STARTS_AT_SIGN_IN 37
#define IDS_FOUND_HERE        38
#define IDS_HISTORY_LOGGED    39
#define IDS_HISTORY_RUNNING   40
#define IDS_HISTORY_EMPTY     41
#define IDS_HISTORY_SUMMARY   42
#define IDS_HISTORY_NONE      43
#define IDS_REMOVED           44
#define IDS_FOREIGN_KEPT      45
#define IDS_OTHERS_KEEP       46
#define IDS_OTHER_COPY_OLD    47
#define IDS_CANNOT_COUNT      48
#define IDS_STORE_REFUSED     49
#define IDS_START_FAILED      50
#define IDS_SWITCHED_OFF      51
#define IDS_COPY_ELEVATED     52

/* Icon groups. The shell numbers icons in directory order, and the
 * uninstaller's program item asks for index 1, so 102 must stay second. */
#define IDI_APP               101
#define IDI_UNINSTALL         102
#define IDI_TRAY              103

#define IDR_TRAYMENU          102

/* Property sheet pages. */
#define IDD_STATISTICS        103
#define IDD_ABOUT             104
#define IDD_SETTINGS          105
#define IDD_HISTORY           106

#define IDB_ABOUT             107

/* Custom resource types; the installer looks them up as "Library" and
 * "Text", which FindResource matches case-insensitively. */
#define IDR_LIBRARY           113
#define IDR_README            116

/* Tray menu commands. CMD_OPEN also travels between copies of the
 * program as a posted WM_COMMAND. */
#define CMD_OPEN              40002
#define CMD_TERMINATE         40003

/* Statistics page (IDD_STATISTICS). */
#define IDC_CUR_SESSION       1030
#define IDC_CUR_DAY           1031
#define IDC_CUR_WEEK          1032
#define IDC_CUR_MONTH         1033
#define IDC_CUR_YEAR          1004
#define IDC_TOTAL             1005
#define IDC_TIME              1006
#define IDC_LAST_SESSION      1034
#define IDC_LAST_DAY          1035
#define IDC_LAST_WEEK         1036
#define IDC_LAST_MONTH        1037
#define IDC_LAST_YEAR         1010
#define IDC_PCT_SESSION       1012
#define IDC_PCT_DAY           1013
#define IDC_PCT_WEEK          1014
#define IDC_PCT_MONTH         1015
#define IDC_PCT_YEAR          1016
#define IDC_STATS_LINK        1009

/* Settings page (IDD_SETTINGS). Ids are only unique within one page:
 * 1009 and 1011 mean other buttons on the statistics and about pages. */
#define IDC_AUTOSTART         1002
#define IDC_NEW_SESSION       1003
#define IDC_RESET_SESSION     1007
#define IDC_RESET_DAY         1008
#define IDC_RESET_WEEK        1009
#define IDC_RESET_MONTH       1011
#define IDC_RESET_YEAR        1017
#define IDC_RESET_TOTAL       1018

/* About page (IDD_ABOUT). */
#define IDC_ABOUT_LINK        1011

/* History page (IDD_HISTORY). */
#define IDC_HISTORY_DAYS      1040
#define IDC_HISTORY_MONTHS    1041
#define IDC_HISTORY_YEARS     1042
#define IDC_HISTORY_CHART     1043
#define IDC_HISTORY_SELECTED  1044
#define IDC_HISTORY_SUMMARY   1045
#define IDC_HISTORY_FOLDER    1046

#endif /* TAPWISE_RESOURCE_IDS_H */
