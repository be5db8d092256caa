// Socket component: filled in by the socket layer.
