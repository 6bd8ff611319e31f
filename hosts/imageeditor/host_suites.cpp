// The host's action suites over the script's document.
#include <cstring>
#include <map>

#include "host_model.h"

namespace {

constexpr DescKey kKeyPostScriptName = MakeFourCC("fPSN");
constexpr DescKey kKeySubstitutes = MakeFourCC("sbsU");
constexpr HostError kErrNoDocument = -1;
constexpr HostError kErrUserCancelled = -128;

HostValue Text(const std::string& s) {
  HostValue v;
  v.type = kTypeText;
  v.text = s;
  return v;
}
HostValue Object(DescType classID, std::shared_ptr<HostDescriptor> d) {
  HostValue v;
  v.type = kTypeObject;
  v.classID = classID;
  v.object = std::move(d);
  return v;
}

// ---- action control
HostError AddNotify(PluginRef, FourCC event, EventNotifyProc proc, void*) {
  State().notifierEvent = event;
  State().notifier = proc;
  HostLog("notifier registered for " + FourCCText(event));
  return kNoErr;
}
HostError RemoveNotify(PluginRef, FourCC event) {
  if (State().notifierEvent == event) State().notifier = nullptr;
  HostLog("notifier removed for " + FourCCText(event));
  return kNoErr;
}
HostError Play(DescriptorRef* result, FourCC event, DescriptorRef descriptor, int32_t mode) {
  if (result) *result = nullptr;
  HostState& s = State();
  if (event == MakeFourCC("Cls ")) {
    const HostValue* saving = descriptor ? descriptor->Find(MakeFourCC("Svng")) : nullptr;
    std::string save = saving ? FourCCText(saving->enumType) + "/" + FourCCText(saving->integer) : "none";
    HostLog("play close " + s.openPath + " saving=" + save + " mode=" + std::to_string(mode));
    if (s.closeFails) return kErrUserCancelled;
    s.openPath.clear();
    return kNoErr;
  }
  if (event == MakeFourCC("Opn ")) {
    const HostValue* alias = descriptor ? descriptor->Find(MakeFourCC("null")) : nullptr;
    std::string path = alias && alias->type == kTypeAlias ? alias->text : "";
    HostLog("play open " + path + " mode=" + std::to_string(mode));
    if (s.reopenFixed)
      for (ScriptLayer& layer : s.layers)
        if (layer.substitutes == 1) layer.substitutes = 0;
    if (s.opens >= s.openLimit) {
      HostLog("host: too many opens");
      return kErrUserCancelled;
    }
    OpenDocument(path);
    return kNoErr;
  }
  HostLog("play " + FourCCText(event) + " (unknown)");
  return kErrParam;
}
HostError Get(DescriptorRef* result, ReferenceRef reference) {
  if (!result || !reference) return kErrParam;
  *result = nullptr;
  std::shared_ptr<HostDescriptor> d;
  if (reference->classID == MakeFourCC("Dcmn") && !reference->byIndex && reference->enumValue == MakeFourCC("Trgt"))
    d = DocumentDescriptor();
  else if (reference->classID == MakeFourCC("Lyr ") && reference->byIndex)
    d = LayerDescriptor(reference->index);
  if (!d) return kErrNoDocument;
  *result = new HostDescriptor(*d);
  return kNoErr;
}
HostError StringIDToTypeID(const char* id, DescKey* key) {
  if (!id || !key) return kErrParam;
  if (strcmp(id, "fontPostScriptName") == 0) *key = kKeyPostScriptName;
  else if (strcmp(id, "substitutesUsed") == 0) *key = kKeySubstitutes;
  else return kErrUnknownKey;
  return kNoErr;
}
const ActionControlSuite kAction = {AddNotify, RemoveNotify, Play, Get, StringIDToTypeID};

// ---- descriptors
const HostValue* Find(DescriptorRef d, DescKey key) { return d ? d->Find(key) : nullptr; }
HostError DMake(DescriptorRef* d) {
  *d = new HostDescriptor;
  return kNoErr;
}
HostError DFree(DescriptorRef d) {
  delete d;
  return kNoErr;
}
HostError DGetCount(DescriptorRef d, uint32_t* count) {
  if (!d) return kErrParam;
  *count = static_cast<uint32_t>(d->items.size());
  return kNoErr;
}
HostError DGetKey(DescriptorRef d, uint32_t index, DescKey* key) {
  if (!d || index >= d->items.size()) return kErrParam;
  *key = d->items[index].first;
  return kNoErr;
}
HostError DHasKey(DescriptorRef d, DescKey key, bool* has) {
  *has = Find(d, key) != nullptr;
  return d ? kNoErr : kErrParam;
}
HostError DGetType(DescriptorRef d, DescKey key, DescType* type) {
  const HostValue* v = Find(d, key);
  if (!v) return kErrUnknownKey;
  *type = v->type;
  return kNoErr;
}
HostError DGetInteger(DescriptorRef d, DescKey key, int32_t* value) {
  const HostValue* v = Find(d, key);
  if (!v || v->type != kTypeInteger) return kErrUnknownKey;
  *value = v->integer;
  return kNoErr;
}
HostError DGetBoolean(DescriptorRef d, DescKey key, bool* value) {
  const HostValue* v = Find(d, key);
  if (!v || v->type != kTypeBoolean) return kErrUnknownKey;
  *value = v->integer != 0;
  return kNoErr;
}
HostError DGetString(DescriptorRef d, DescKey key, char* text, uint32_t maxLength) {
  const HostValue* v = Find(d, key);
  if (!v || v->type != kTypeText || !text || maxLength == 0) return kErrUnknownKey;
  size_t n = std::min<size_t>(v->text.size(), maxLength - 1);
  memcpy(text, v->text.data(), n);
  text[n] = 0;
  return kNoErr;
}
HostError DGetObject(DescriptorRef d, DescKey key, DescType* classID, DescriptorRef* object) {
  const HostValue* v = Find(d, key);
  if (!v || v->type != kTypeObject || !v->object) return kErrUnknownKey;
  if (classID) *classID = v->classID;
  *object = new HostDescriptor(*v->object);
  return kNoErr;
}
HostError DGetList(DescriptorRef d, DescKey key, ListRef* list) {
  const HostValue* v = Find(d, key);
  if (!v || v->type != kTypeList || !v->list) return kErrUnknownKey;
  *list = new HostList(*v->list);
  return kNoErr;
}
HostError DGetAlias(DescriptorRef d, DescKey key, AliasHandle* alias) {
  const HostValue* v = Find(d, key);
  if (!v || v->type != kTypeAlias) return kErrUnknownKey;
  *alias = new HostAlias{v->text};
  return kNoErr;
}
HostError DPutEnumerated(DescriptorRef d, DescKey key, DescType type, FourCC value) {
  if (!d) return kErrParam;
  HostValue v;
  v.type = kTypeEnumerated;
  v.enumType = type;
  v.integer = static_cast<int32_t>(value);
  d->Put(key, v);
  return kNoErr;
}
HostError DPutAlias(DescriptorRef d, DescKey key, AliasHandle alias) {
  if (!d || !alias) return kErrParam;
  HostValue v;
  v.type = kTypeAlias;
  v.text = alias->path;
  d->Put(key, v);
  return kNoErr;
}
const DescriptorSuite kDescriptor = {DMake,       DFree,      DGetCount, DGetKey,   DHasKey,
                                     DGetType,    DGetInteger, DGetBoolean, DGetString, DGetObject,
                                     DGetList,    DGetAlias,  DPutEnumerated, DPutAlias};

// ---- references, lists, aliases, blocks
HostError RMake(ReferenceRef* r) {
  *r = new HostReference;
  return kNoErr;
}
HostError RFree(ReferenceRef r) {
  delete r;
  return kNoErr;
}
HostError RPutEnumerated(ReferenceRef r, DescType classID, DescType, FourCC value) {
  r->classID = classID;
  r->byIndex = false;
  r->enumValue = value;
  return kNoErr;
}
HostError RPutIndex(ReferenceRef r, DescType classID, uint32_t index) {
  r->classID = classID;
  r->byIndex = true;
  r->index = index;
  return kNoErr;
}
const ReferenceSuite kReference = {RMake, RFree, RPutEnumerated, RPutIndex};

HostError LFree(ListRef l) {
  delete l;
  return kNoErr;
}
HostError LGetCount(ListRef l, uint32_t* count) {
  *count = l ? static_cast<uint32_t>(l->items.size()) : 0;
  return l ? kNoErr : kErrParam;
}
HostError LGetType(ListRef l, uint32_t index, DescType* type) {
  if (!l || index >= l->items.size()) return kErrParam;
  *type = l->items[index].type;
  return kNoErr;
}
HostError LGetObject(ListRef l, uint32_t index, DescType* classID, DescriptorRef* object) {
  if (!l || index >= l->items.size() || l->items[index].type != kTypeObject) return kErrParam;
  if (classID) *classID = l->items[index].classID;
  *object = new HostDescriptor(*l->items[index].object);
  return kNoErr;
}
const ListSuite kList = {LFree, LGetCount, LGetType, LGetObject};

HostError ANew(const char* path, AliasHandle* alias) {
  *alias = new HostAlias{path ? path : ""};
  return kNoErr;
}
HostError AToPath(AliasHandle alias, char* path, uint32_t maxLength) {
  if (!alias || !path || maxLength == 0 || alias->path.size() >= maxLength) return kErrParam;
  memcpy(path, alias->path.c_str(), alias->path.size() + 1);
  return kNoErr;
}
HostError ADispose(AliasHandle alias) {
  delete alias;
  return kNoErr;
}
const AliasSuite kAlias = {ANew, AToPath, ADispose};

void* BNew(size_t size) { return ::operator new(size, std::nothrow); }
void BDispose(void* block) { ::operator delete(block); }
const BlockAllocatorSuite kBlock = {BNew, BDispose};

}  // namespace

std::shared_ptr<HostDescriptor> DocumentDescriptor() {
  if (State().openPath.empty()) return nullptr;
  auto d = std::make_shared<HostDescriptor>();
  HostValue count;
  count.type = kTypeInteger;
  count.integer = static_cast<int32_t>(State().layers.size());
  d->Put(MakeFourCC("Ttl "), Text(State().openPath));
  d->Put(MakeFourCC("NmbL"), count);
  return d;
}

std::shared_ptr<HostDescriptor> LayerDescriptor(uint32_t index) {
  if (State().openPath.empty() || index < 1 || index > State().layers.size()) return nullptr;
  const ScriptLayer& layer = State().layers[index - 1];
  auto d = std::make_shared<HostDescriptor>();
  d->Put(MakeFourCC("Nm  "), Text(layer.name));
  if (layer.hasText) {
    auto text = std::make_shared<HostDescriptor>();
    text->Put(MakeFourCC("Txt "), Text("sample"));
    auto ranges = std::make_shared<HostList>();
    for (const ScriptStyle& st : layer.styles) {
      auto style = std::make_shared<HostDescriptor>();
      style->Put(kKeyPostScriptName, Text(st.postScriptName));
      if (!st.family.empty()) style->Put(MakeFourCC("FntN"), Text(st.family));
      if (!st.style.empty()) style->Put(MakeFourCC("FntS"), Text(st.style));
      auto range = std::make_shared<HostDescriptor>();
      HostValue from;
      from.type = kTypeInteger;
      range->Put(MakeFourCC("From"), from);
      range->Put(MakeFourCC("TxtS"), Object(MakeFourCC("TxtS"), style));
      ranges->items.push_back(Object(MakeFourCC("Txtr"), range));
    }
    HostValue list;
    list.type = kTypeList;
    list.list = ranges;
    text->Put(MakeFourCC("Txtt"), list);
    if (layer.substitutes >= 0) {
      HostValue b;
      b.type = kTypeBoolean;
      b.integer = layer.substitutes;
      text->Put(kKeySubstitutes, b);
    }
    d->Put(MakeFourCC("Txt "), Object(MakeFourCC("TxLr"), text));
  }
  return d;
}

const void* FindDialogSuite(const std::string& name);

const void* FindSuite(const std::string& name) {
  static const std::map<std::string, const void*> suites = {
      {"Action Control Suite", &kAction}, {"Action Descriptor Suite", &kDescriptor},
      {"Action Reference Suite", &kReference}, {"Action List Suite", &kList},
      {"Alias Suite", &kAlias}, {"Block Allocator Suite", &kBlock}};
  auto it = suites.find(name);
  return it != suites.end() ? it->second : FindDialogSuite(name);
}
