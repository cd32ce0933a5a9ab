#pragma once
// The file-information list that entries describe themselves into. The browser supplies it for
// its list view; the command line and the tests use the recording one.

#include <string>
#include <vector>

class TInfoList {
 public:
  virtual ~TInfoList() = default;
  virtual void RemoveAllGroups() = 0;
  virtual void EnableGroupView(bool enable) = 0;
  virtual void InsertGroup(int groupId, const std::string& title) = 0;
  // Appends one row: caption in the first column, value in the second, in group groupId.
  virtual void AddInfoRow(const std::string& caption, const std::string& value, int imageIndex,
                          int groupId) = 0;
};

// Keeps the rows of the last fill, in order, for whoever prints or checks them.
class RecordingInfoList final : public TInfoList {
 public:
  struct Row {
    std::string caption;
    std::string value;
    int imageIndex = 0;
    int groupId = 0;
  };
  struct Group {
    int id = 0;
    std::string title;
  };

  void RemoveAllGroups() override { groups.clear(); }
  void EnableGroupView(bool enable) override { groupView = enable; }
  void InsertGroup(int groupId, const std::string& title) override { groups.push_back({groupId, title}); }
  void AddInfoRow(const std::string& caption, const std::string& value, int imageIndex,
                  int groupId) override {
    rows.push_back({caption, value, imageIndex, groupId});
  }

  // The value of the first row with caption, or nullptr.
  const std::string* Find(const std::string& caption) const {
    for (const Row& row : rows) {
      if (row.caption == caption) return &row.value;
    }
    return nullptr;
  }

  bool groupView = false;
  std::vector<Group> groups;
  std::vector<Row> rows;
};

// Sets the list up with its one group, "Basic information" (id 0), as every entry does
// before it adds its rows.
void BeginBasicInformation(TInfoList& list);
// Adds a row to the "Basic information" group.
void AddBasicRow(TInfoList& list, const std::string& caption, const std::string& value);
