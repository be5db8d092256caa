// Chat core: filled in by the chat layer.
