// Writer of the XML results report (XRD): the document frame, the information
// section and one block per reported test driver.
#pragma once

// Writes the report for the current model to `xrd_path`. 0 when written and
// closed; -1 when the file cannot be created or any write fails.
int report_write(const char* xrd_path);
