/* Resource ids, shared by the resource script and the code. Plain #defines only:
   the resource compiler reads this file too. */
#ifndef UPDATER_RESOURCE_H
#define UPDATER_RESOURCE_H

/* Pages */
#define IDD_MAIN 102
#define IDD_PROGRESS 103
#define IDD_LICENSE 144

/* Custom resources, of the types named below */
#define IDR_FIRMWARE 101
#define IDR_EULA 145
/* The SHA-256 of FIRMWARE 101 (32 bytes), under the same id in a type of its own */
#define IDR_FIRMWARE_DIGEST 101

/* Icon */
#define IDI_UPDATER 113

/* Licence page controls */
#define IDC_LICENSE_PROMPT 145
#define IDC_LICENSE_TEXT 146
#define IDC_REFUSE 147
#define IDC_ACCEPT 148

/* Main page controls (buttons 1 and 2 are IDOK and IDCANCEL) */
#define IDC_MESSAGE 110

/* Progress page controls */
#define IDC_PERCENT 111
#define IDC_HEADING 112
#define IDC_PROGRESS 114

/* Configuration strings */
#define IDS_HARDWARE_ID 16
#define IDS_ACCESS_METHOD 17
#define IDS_MODEL_NAME 18
#define IDS_VERSION_TEXT 19

/* Messages and labels */
#define IDS_READY 219
#define IDS_NOT_FOUND 220
#define IDS_FAILED 221
#define IDS_COMPLETE 222
#define IDS_TRANSFERRING 223
#define IDS_TRANSFER 224
#define IDS_EXIT 225
#define IDS_RETRY 226
#define IDS_LICENSE_PROMPT 227
#define IDS_REFUSE 228
#define IDS_ACCEPT 229
#define IDS_OK 230
#define IDS_SHUTDOWN_REASON 231
#define IDS_ALREADY_RUNNING 232

#endif
