#include "fs/InfoList.h"

void BeginBasicInformation(TInfoList& list) {
  list.RemoveAllGroups();
  list.EnableGroupView(true);
  list.InsertGroup(0, "Basic information");
}

void AddBasicRow(TInfoList& list, const std::string& caption, const std::string& value) {
  list.AddInfoRow(caption, value, 0, 0);
}
