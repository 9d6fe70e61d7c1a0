#include "AfxMsgMap.h"

const MessageMap CCmdTarget::messageMap = {nullptr, {}};

const MsgMapEntry* CCmdTarget::FindEntry(UINT nMessage, UINT nID) const
{
    for (const MessageMap* pMap = GetMessageMap(); pMap; pMap = pMap->pBaseMap) {
        for (const MsgMapEntry& e : pMap->entries) {
            if (e.nMessage == nMessage && (nMessage != WM_COMMAND || e.nID == nID))
                return &e;
        }
    }
    return nullptr;
}

bool CCmdTarget::OnCmdMsg(UINT nID, bool bQueryOnly)
{
    const MsgMapEntry* pEntry = FindEntry(WM_COMMAND, nID);
    if (!pEntry)
        return false;
    if (!bQueryOnly)
        pEntry->pfnThunk(this, nID, 0);
    return true;
}
