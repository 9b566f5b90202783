#include "xml/xml_node.h"

#include <new>

namespace chartloom::xml {

void releaseNode(XmlNode* node) noexcept {
    if (!node || --node->useCount > 0)
        return;
    // Nodes whose last use is gone wait on a list threaded through their parent links.
    node->parent = nullptr;
    XmlNode* doomed = node;
    while (doomed) {
        XmlNode* current = doomed;
        doomed = current->parent;
        for (int i = 0; i < current->childCount; ++i) {
            XmlNode* child = current->children[i];
            child->parent = nullptr;
            if (--child->useCount == 0) {
                child->parent = doomed;
                doomed = child;
            }
        }
        ::operator delete(current);
    }
}

}  // namespace chartloom::xml
