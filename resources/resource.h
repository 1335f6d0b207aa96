// resource.h -- every resource id of the program, grouped by kind.
// Shared by caskwright.rc and the C++ code; plain defines so the resource
// compiler reads it too.
#ifndef CASKWRIGHT_RESOURCE_H
#define CASKWRIGHT_RESOURCE_H

// Icons
#define IDI_CASKWRIGHT 5

// Dialog templates
#define IDD_MAIN 130
#define IDD_PROGRESS 138
#define IDD_REPLACE 139
#define IDD_PASSWORD 140

// Bitmaps: the preview window's button strip and the entry list's marks
#define IDB_PREVIEW_BUTTONS 131
#define IDB_MARK_REPLACED 132
#define IDB_MARK_NEW 133
#define IDB_MARK_DELETED 134
#define IDB_MARK_NONE 137

// Controls of the main dialog (130)
#define IDC_ENTRY_LIST 1000
#define IDC_OPEN 1001
#define IDC_EXIT 1002
#define IDC_FILTER_TEXT 1003
#define IDC_FILTER 1004
#define IDC_ADD_DIR 1006
#define IDC_ADD_GRF 1012
#define IDC_EXTRACT 1013
#define IDC_EXTRACT_ALL 1014
#define IDC_DELETE_SEL 1015
#define IDC_REPACK 1016
#define IDC_CLOSE_GRF 1018
#define IDC_LEVEL 1019
#define IDC_VERSION 1022
#define IDC_SAVE 1030

// Controls the main dialog adds to template 130 at its start
#define IDC_SEARCH 1032
#define IDC_FOLDER_TREE 1031
// The status line's Cancel while an archive opens
#define IDC_CANCEL_OPEN 1040

// Controls of the progress window (138); its Cancel button is IDCANCEL (2)
#define IDC_PROGRESS_BAR 1020
#define IDC_PROGRESS_NAME 1021

// Controls of the replace prompt (139); Yes, No and Cancel are IDYES, IDNO
// and IDCANCEL
#define IDC_REPLACE_TEXT 1023
#define IDC_YES_TO_ALL 1024
#define IDC_NO_TO_ALL 1025

// Controls of the password prompt (140); OK and Cancel are IDOK and IDCANCEL
#define IDC_PASSWORD_TEXT 1050
#define IDC_PASSWORD_EDIT 1051
#define IDC_PASSWORD_AGAIN_LABEL 1052
#define IDC_PASSWORD_AGAIN 1053
#define IDC_PASSWORD_CLEAR 1054

// System menu (ids of the program's own items keep the low four bits clear)
#define ID_ABOUT 31337
#define ID_FOLDER_TREE 31360

// The entry list's context menu
#define IDM_PREVIEW 40501
#define IDM_EXTRACT 40502
#define IDM_EXTRACT_TO 40503
#define IDM_DELETE 40504
#define IDM_COPY_NAME 40505
// Posted by a drop of files on the window
#define IDM_ADD_DROPPED 40506
// Opens the archive named on the command line, once the dialog is up
#define IDM_OPEN_START 40510
// Posted once an archive holding keyed entries has opened: asks its password
#define IDM_ASK_PASSWORD 40511
// The Open button's drop-down after the recent archives: the write password
// and applying an RGZ to a folder
#define IDM_WRITE_PASSWORD 40530
#define IDM_APPLY_PATCH 40531
// The Open button's drop-down: the recent archives, the latest first
#define IDM_RECENT_FIRST 40520
#define IDM_RECENT_LAST 40527

// Strings 100 to 117: the messages every window shares
#define IDS_TITLE_FORMAT 100
#define IDS_ERROR_CAPTION 101
#define IDS_DECOMPRESSION_ERROR 102
#define IDS_WRITE_ERROR 103
#define IDS_INVALID_HANDLE 104
#define IDS_NOT_A_GRF 105
#define IDS_READY 107
#define IDS_NONE 108
#define IDS_REPACK_FAILED 109
#define IDS_OUT_OF_MEMORY 110
#define IDS_MERGE_FAILED 111
#define IDS_SELECT_DIRECTORY 112
#define IDS_GRF_FILTER 113
#define IDS_UNPACKING 114
#define IDS_REPACKING 115
#define IDS_BMP_FILTER 116
#define IDS_SAVE_FAILED 117

// Strings 118 to 129: further texts of the main window and the commands
#define IDS_FILTERING 118
#define IDS_OPENING_FORMAT 119
#define IDS_SELECT_MAIN_GRF 120
#define IDS_SELECT_APPEND_GRF 121
#define IDS_SELECT_REPACK_TARGET 122
#define IDS_ABOUT_CAPTION 123
#define IDS_ABOUT_TEXT 124
#define IDS_ABOUT_ITEM 125
#define IDS_FILES_LEFT_OUT 126
#define IDS_FILES_LEFT_OUT_MORE 127
#define IDS_REPACK_TOO_LARGE 128

// Strings 140 to 159: column headers and drop-down items
#define IDS_COLUMN_INDEX 140
#define IDS_COLUMN_COMP_SIZE 141
#define IDS_COLUMN_FILE_SIZE 142
#define IDS_COLUMN_OFFSET 143
#define IDS_COLUMN_CYCLE 144
#define IDS_COLUMN_FILENAME 145
#define IDS_LEVEL_LOW 150
#define IDS_LEVEL_MEDIUM 151
#define IDS_LEVEL_HIGH 152
#define IDS_VERSION_102 153
#define IDS_VERSION_103 154
#define IDS_VERSION_200 155
#define IDS_VERSION_300 156

// Strings 160 to 169: the preview window
#define IDS_VIEWER_TITLE 160
#define IDS_FRAME_FORMAT 161

// Strings 170 to 199: extraction, the archive changed on disk, Add Dir's
// names that do not convert
#define IDS_SELECT_EXTRACT_FOLDER 170
#define IDS_EXTRACTED_TO 171
#define IDS_REPLACE_TEXT 172
#define IDS_EXTRACT_FAILED 173
#define IDS_FAILURE_LINE 174
#define IDS_DUPLICATES 175
#define IDS_CHANGED_CAPTION 176
#define IDS_ARCHIVE_CHANGED 177
#define IDS_NAMES_NOT_CONVERTED 178
#define IDS_REASON_NOT_FOUND 180
#define IDS_REASON_NO_ARCHIVE 181
#define IDS_REASON_MEMORY 182
#define IDS_REASON_UNREADABLE 183
#define IDS_REASON_INFLATE 184
#define IDS_REASON_UNSAFE_NAME 185
#define IDS_REASON_OUTPUT 186
#define IDS_REASON_CODE 187
#define IDS_REASON_METHOD 188

// Strings 300 to 339: the preview window's animations, palettes, saved
// types, scale and notices
#define IDS_VIEWER_SCALED_TITLE 300
#define IDS_ACTION_FORMAT 301
#define IDS_PNG_FILTER 302
#define IDS_GIF_FILTER 303
#define IDS_EXPORT_FAILED 304
#define IDS_PREVIOUS_ACTION 305
#define IDS_NEXT_ACTION 306
#define IDS_PLAY 307
#define IDS_PAUSE 308
#define IDS_OWN_PALETTE 309
#define IDS_NOTICE_UNKNOWN 310
#define IDS_NOTICE_DAMAGED 311
#define IDS_NOTICE_UNREADABLE 312
#define IDS_NOTICE_NO_SPRITE 313
#define IDS_NOTICE_COMPILED_LUA 314
#define IDS_NEWER_ACT 315

// Strings 400 to 419: Save, its tooltip and the unsaved-changes prompt
#define IDS_TIP_SAVE 400
#define IDS_SAVING 401
#define IDS_SAVED 402
#define IDS_SAVED_REPACK 403
#define IDS_SAVE_CANCELLED 404
#define IDS_SAVE_FAILED_CODE 405
#define IDS_SAVE_TOO_LARGE 406
#define IDS_SAVE_TOO_LARGE_CAPTION 407
#define IDS_UNSAVED_CAPTION 408
#define IDS_UNSAVED_TEXT 409
#define IDS_SIZE_BYTES 410
#define IDS_SIZE_KB 411
#define IDS_SIZE_MB 412
// Strings 500 to 599: the list's counts, the search box, the context menu,
// settings and the messages that say what went wrong in words
#define IDS_LIST_COUNTS 500
#define IDS_SEARCH_CUE 501
#define IDS_REPACK_FAILED_CAPTION 510
#define IDS_OPEN_FAILED_CAPTION 511
#define IDS_MERGE_FAILED_CAPTION 512
#define IDS_NAME_TAKEN_CAPTION 513
#define IDS_REPACK_EXISTS 520
#define IDS_REPACK_NOT_CREATED 521
#define IDS_REPACK_WRITE 522
#define IDS_REPACK_READ 523
#define IDS_REPACK_UNREADABLE 524
#define IDS_REPACK_MEMORY 525
#define IDS_REPACK_CODE 526
#define IDS_REPACK_CANCELLED 527
#define IDS_OPEN_NOT_FOUND 530
#define IDS_OPEN_VERSION 531
#define IDS_OPEN_MEMORY 532
#define IDS_OPEN_CODE 533
#define IDS_MERGE_LOCAL_RECORDS 540
#define IDS_MERGE_MEMORY 541
#define IDS_MERGE_EMPTY 542
#define IDS_MERGE_CODE 543
#define IDS_NAME_TAKEN 544
#define IDS_MENU_PREVIEW 550
#define IDS_MENU_EXTRACT 551
#define IDS_MENU_EXTRACT_TO 552
#define IDS_MENU_DELETE 553
#define IDS_MENU_COPY_NAME 554
#define IDS_FOLDER_ALL 560
#define IDS_FOLDER_ITEM 561
#define IDS_FOLDER_TREE_ITEM 562
#define IDS_DRAG_TOO_MANY 563
#define IDS_DRAG_LEFT_OUT 564
#define IDS_EXTRACT_FAILED_CAPTION 565
#define IDS_EXTRACT_CANNOT_CAPTION 566
#define IDS_EXTRACT_FOLDER_GONE 567
#define IDS_LEFT_OUT_CAPTION 568
#define IDS_RECENT_NONE 569
#define IDS_RECENT_GONE_CAPTION 570
#define IDS_RECENT_GONE 571
// Strings 640 to 679: what the list hides, save failures in words, the
// background open
#define IDS_LIST_COUNTS_OF 640
#define IDS_HIDDEN_FILTER 641
#define IDS_HIDDEN_SEARCH 642
#define IDS_HIDDEN_FOLDER 643
#define IDS_HIDDEN_JOIN 644
#define IDS_SAVE_FAILED_CAPTION 650
#define IDS_SAVE_NOT_WRITABLE 651
#define IDS_SAVE_LOCAL_GONE 652
#define IDS_SAVE_LOCAL_UNREADABLE 653
#define IDS_SAVE_UNREADABLE 654
#define IDS_SAVE_WRITE 655
#define IDS_SAVE_MEMORY 656
#define IDS_SAVE_METHOD 657
#define IDS_SAVE_IN_USE 658
#define IDS_SAVE_ACCESS 659
#define IDS_REPACKED 660
#define IDS_REPACKED_ONE 661
#define IDS_OPEN_CANCEL 665
#define IDS_OPENING_START 666
#define IDS_OPENING_BACKGROUND 667
#define IDS_OPEN_CANCELLED 668
#define IDS_EXTRACTED_ONE 670
#define IDS_EXTRACTED_CANCELLED 671
#define IDS_EXTRACTED_ONE_CANCELLED 672
#define IDS_FAILED_SAVE_LIST 673
#define IDS_FAILED_LIST_TITLE 674
#define IDS_TEXT_FILTER 675

// Strings 700 to 749: passwords of keyed entries, applying an RGZ patch
#define IDS_PASSWORD_CAPTION 700
#define IDS_PASSWORD_ASK 701
#define IDS_PASSWORD_GO_ON 702
#define IDS_PASSWORD_WRONG_CAPTION 703
#define IDS_PASSWORD_WRONG 704
#define IDS_PASSWORD_LENGTH 705
#define IDS_PASSWORD_ACCEPTED 706
#define IDS_PASSWORD_NOT_GIVEN 707
#define IDS_MENU_WRITE_PASSWORD 708
#define IDS_WRITE_PASSWORD_TEXT 709
#define IDS_PASSWORD_MISMATCH 710
#define IDS_WRITE_PASSWORD_SET 711
#define IDS_WRITE_PASSWORD_CLEARED 712
#define IDS_KEYED_MARK 713
#define IDS_REASON_NEEDS_PASSWORD 714
#define IDS_REASON_PASSWORD 715
#define IDS_NOTICE_NEEDS_PASSWORD 716
#define IDS_NOTICE_WRONG_PASSWORD 717
#define IDS_WRITE_PASSWORD_CAPTION 718
#define IDS_REPACK_PASSWORD 719
#define IDS_REPACK_WRITE_KEY_VERSION 720
#define IDS_MENU_APPLY_PATCH 730
#define IDS_SELECT_PATCH 731
#define IDS_RGZ_FILTER 732
#define IDS_SELECT_CLIENT_FOLDER 733
#define IDS_APPLYING 734
#define IDS_PATCH_APPLIED 735
#define IDS_PATCH_FAILED_CAPTION 736
#define IDS_PATCH_NOTHING 737
#define IDS_PATCH_PART 738
#define IDS_PATCH_CANCELLED 739
#define IDS_PATCH_NOT_RGZ 740
#define IDS_APPLIED_LINE 741
#define IDS_NOT_APPLIED_LINE 742
#define IDS_PATCH_OPEN_FAILED 743
#define IDS_PATCH_LIST_TITLE 744
#define IDS_PATCH_APPLIED_ONE 745
#define IDS_REASON_CUT_SHORT 746
#define IDS_PASSWORD_RETRY_CAPTION 747

// Strings 200 to 212: tooltips, in the order the tools are registered
#define IDS_TIP_OPEN 200
#define IDS_TIP_EXIT 201
#define IDS_TIP_FILTER 202
#define IDS_TIP_EXTRACT 203
#define IDS_TIP_EXTRACT_ALL 204
#define IDS_TIP_ADD_GRF 205
#define IDS_TIP_ADD_DIR 206
#define IDS_TIP_REPACK 207
#define IDS_TIP_LEVEL 208
#define IDS_TIP_VERSION 209
#define IDS_TIP_DELETE_SEL 210
#define IDS_TIP_ENTRY_LIST 211
#define IDS_TIP_CLOSE_GRF 212

#endif
