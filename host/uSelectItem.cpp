#include "uSelectItem.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "Host.h"
#include "OVClassesPlugins.h"
#include "uJobRes.h"
#include "uSettings.h"

namespace {

struct TNode {
  std::string Text;
  int Image = 0;
  LPARAM Data = 0;  // plug-in ID on the first level, item index below
  std::vector<TNode> Children;
};

// One picker's tree as built from the plug-ins: its pictures and its
// sorted nodes. Image 0 is the default picture.
struct TPickerTree {
  HIMAGELIST Images = nullptr;
  std::vector<TNode> Plugins;
  ~TPickerTree() {
    if (Images) ImageList_Destroy(Images);
  }
};

std::unique_ptr<TPickerTree> g_trees[2];

bool TextLess(const TNode& a, const TNode& b) { return lstrcmpiA(a.Text.c_str(), b.Text.c_str()) < 0; }

int AddImage(HIMAGELIST images, HICON icon) {
  if (!icon) return 0;
  int i = ImageList_AddIcon(images, icon);
  return i < 0 ? 0 : i;
}

std::unique_ptr<TPickerTree> BuildTree(TPickKind kind) {
  auto tree = std::make_unique<TPickerTree>();
  tree->Images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                  ILC_COLOR32 | ILC_MASK, 8, 8);
  ImageList_AddIcon(tree->Images, LoadIcon(nullptr, IDI_APPLICATION));
  const bool methods = kind == TPickKind::Methods;
  for (int p = 0; Plugins && p < Plugins->Count(); ++p) {
    TOVPlugin* plugin = Plugins->Items(p);
    // A plug-in whose record cannot be read is left out rather than
    // taking the picker down with it.
    try {
      int count = methods ? plugin->MethodCount() : plugin->RunnerCount();
      if (count < 1) continue;
      TNode node{plugin->Description(), AddImage(tree->Images, plugin->Icon()), plugin->ID(), {}};
      for (int i = 0; i < count; ++i) {
        std::string name = methods ? plugin->MethodName(i) : plugin->RunnerName(i);
        HICON icon = methods ? plugin->MethodIcon(i) : plugin->RunnerIcon(i);
        node.Children.push_back(TNode{name, AddImage(tree->Images, icon), i, {}});
      }
      std::stable_sort(node.Children.begin(), node.Children.end(), TextLess);
      tree->Plugins.push_back(std::move(node));
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, e.what());
    }
  }
  std::stable_sort(tree->Plugins.begin(), tree->Plugins.end(), TextLess);
  return tree;
}

TPickerTree& TreeOf(TPickKind kind) {
  auto& slot = g_trees[kind == TPickKind::Methods ? 0 : 1];
  if (!slot) slot = BuildTree(kind);
  return *slot;
}

HTREEITEM Insert(HWND tv, HTREEITEM parent, const TNode& node) {
  TVINSERTSTRUCTA ins{};
  ins.hParent = parent;
  ins.hInsertAfter = TVI_LAST;
  ins.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
  ins.item.pszText = const_cast<char*>(node.Text.c_str());
  ins.item.iImage = ins.item.iSelectedImage = node.Image;
  ins.item.lParam = node.Data;
  return reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&ins)));
}

LPARAM ItemData(HWND tv, HTREEITEM item) {
  TVITEMA it{};
  it.mask = TVIF_PARAM;
  it.hItem = item;
  SendMessageA(tv, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&it));
  return it.lParam;
}

}  // namespace

TfSelectItem::TfSelectItem(TPickKind kind) : OVDialog(IDD_SELECTITEM), kind_(kind) {}

bool TfSelectItem::OnInit() {
  HWND tv = Item(IDC_TVITEMS);
  ApplyHotTrackToTree(tv);
  TPickerTree& tree = TreeOf(kind_);
  SendMessageA(tv, TVM_SETIMAGELIST, TVSIL_NORMAL, reinterpret_cast<LPARAM>(tree.Images));
  for (const TNode& plugin : tree.Plugins) {
    HTREEITEM parent = Insert(tv, TVI_ROOT, plugin);
    for (const TNode& child : plugin.Children) Insert(tv, parent, child);
    SendMessageA(tv, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(parent));
  }
  // The title comes last: whoever finds the picker by it finds it filled.
  SetWindowTextA(Handle(), kind_ == TPickKind::Methods ? "Select action" : "Select Event");
  return true;
}

bool TfSelectItem::OnNotify(int id, NMHDR* header, LRESULT& result) {
  if (id != IDC_TVITEMS || !IsActivation(header->code)) return false;
  // Activating an item chooses it; on a plug-in line the click keeps its
  // usual meaning (a double click opens or closes the branch).
  HWND tv = Item(IDC_TVITEMS);
  DWORD pos = GetMessagePos();
  TVHITTESTINFO hit{};
  hit.pt = POINT{static_cast<SHORT>(LOWORD(pos)), static_cast<SHORT>(HIWORD(pos))};
  ScreenToClient(tv, &hit.pt);
  HTREEITEM item = reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
  if (!item || !(hit.flags & TVHT_ONITEM)) return false;
  if (!SendMessageA(tv, TVM_GETNEXTITEM, TVGN_PARENT, reinterpret_cast<LPARAM>(item))) return false;
  SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  bSelectClick();
  result = TRUE;
  return true;
}

void TfSelectItem::OnOK() { bSelectClick(); }

void TfSelectItem::bSelectClick() {
  HWND tv = Item(IDC_TVITEMS);
  auto item = reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_GETNEXTITEM, TVGN_CARET, 0));
  auto parent = item ? reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_GETNEXTITEM, TVGN_PARENT,
                                                                reinterpret_cast<LPARAM>(item)))
                     : nullptr;
  if (!parent) {
    MessageBeep(MB_OK);
    return;
  }
  result_.PluginID = static_cast<int32_t>(ItemData(tv, parent));
  result_.Index = static_cast<int>(ItemData(tv, item));
  End(IDOK);
}

bool PickAction(HWND owner, TPickedItem* item) {
  TfMethods d;
  if (d.DoModal(owner) != IDOK) return false;
  *item = d.Result();
  return true;
}

bool PickTrigger(HWND owner, TPickedItem* item) {
  TfRunners d;
  if (d.DoModal(owner) != IDOK) return false;
  *item = d.Result();
  return true;
}

void ForgetPickers() {
  g_trees[0].reset();
  g_trees[1].reset();
}
