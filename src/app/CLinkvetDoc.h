#pragma once

/// The document of the single-document window. It holds no data: the results
/// live in the results list, and the log pane keeps its own modified flag.
class CLinkvetDoc {
public:
    bool OnNewDocument() { return true; }
    void SetModifiedFlag(bool bModified) { m_bModified = bModified; }
    bool IsModified() const { return m_bModified; }

private:
    bool m_bModified = false;
};
