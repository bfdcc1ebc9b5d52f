#include "thumbs.h"
#include "../base/state.h"
#include "../res/resource.h"

// The columns of photo_img in the order of its statement. The description dialog shows
// and reads the same values through the same table, so the two cannot drift apart.
const RecordColumn recordColumns[RECORD_COLUMNS] = {
    {"name", PhotoRecord.name, IDC_REC_NAME},
    {"img_name", PhotoRecord.img_name, IDC_REC_IMG_NAME},
    {"commentary", PhotoRecord.commentary, IDC_REC_COMMENTARY},
    {"width", PhotoRecord.width, IDC_REC_WIDTH},
    {"height", PhotoRecord.height, IDC_REC_HEIGHT},
    {"size", PhotoRecord.size, IDC_REC_SIZE},
    {"date", PhotoRecord.date, IDC_REC_DATE},
    {"sec_id", PhotoRecord.sec_id, IDC_REC_SEC_ID},
    {"dir", PhotoRecord.dir, IDC_REC_DIR},
};
