#pragma once

// Command ids of the menu and the toolbar.
enum ECommandId {
    ID_HOST_ADD = 32771,
    ID_HOST_REMOVE = 32772,
    ID_OPTIONS = 32773,
    ID_TEST_START = 32774,
    ID_TEST_STOP = 32775,
    ID_HOST_EDIT = 32776,
    ID_GRAPH_BUILD = 32777,
    ID_REPORT_GENERATE = 32778,
    ID_HELP_TUTORIAL = 32787,
    ID_TOOLBAR_TUTORIAL = 1080,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};
